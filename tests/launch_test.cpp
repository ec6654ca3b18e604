// The launcher as a user runs it: under a design's name in a new compilation directory, with
// installation roots holding the stand-ins of examples/standin, which record how they were started.
// BOOTLOADER_UNDER_TEST and BOOTLOADER_RUNNER point it at another build (i386 through qemu-i386).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>

namespace fs = std::filesystem;

namespace {

/// One launch and all it must leave behind; {top} stands for the temporary directory. `setup` runs
/// in {top}/work first, where `root NAME KINDS` makes a root holding k a kernel, c the
/// co-simulation library, d or f a directory or FIFO as kernel, or l links: the kernel's to itself,
/// the library's to /dev/null. `fill N` makes a command file m that brings the kernel's count for
/// `-f m -x` (arguments, environment and path) to its limit + N bytes, with one argument of 131,071
/// bytes and, before the last argument, spaces as many as half that limit. `slow US ARGS` starts
/// ./tb_sim ARGS, US microseconds slow to let go of its log, and returns once it wrote it. `within
/// S` writes to the row's output unless the simulator starts within S seconds. Whatever the setup
/// leaves running ends before the results are read. By default a row expects orsa.log and t1's
/// kernel with the row's arguments (a "~" child: what it starts with), or none on failure.
struct Row {
  const char* name;
  const char* setup = "";
  const char* args = "";  // split at spaces; '...' groups
  const char* env = "TARVEN={top}/t1";
  int status = 0;
  const char* out = "";
  const char* err = "";         // like `out`, "~" first: lines (or line ends) among those written
  const char* child = nullptr;  // "tcl@ROOT ARGS", "gui ARGS", "none"; default t1's, or none
  const char* childEnv = "LD_LIBRARY_PATH={top}/t1/lib/lin";  // PORT_DYNAMIC_DISABLE_MSG=1 aside
  const char* logs = "orsa.log";  // run logs: NAME (the usual, 0644) or NAME=BYTES
  const char* argv0 = "./tb_sim";
  const char* io = "";     // "0-" no standard input, "1|" or "2|" an output nobody reads
  const char* under = "";  // a command that runs the launch, split like `args`
};

Row fails(const char* name, const char* args, const char* out, const char* err,
          const char* setup = "") {
  return {
      .name = name, .setup = setup, .args = args, .status = 1, .out = out, .err = err, .logs = ""};
}

const char* const prelude = R"(set -e
root() { r=$TOP/$1 k=$r/bin/lin/unwrapped/orsatcl c=$r/plexor/bin/lin/libhwcosim_api.so
  mkdir -p "$r/lib/lin" "${k%/*}" "${c%/*}"
  case $2 in *k*) cp "$KERNEL" "$k";; *d*) mkdir "$k";; *f*) mkfifo "$k";; esac
  case $2 in *c*) : >"$c";; *l*) ln -s orsatcl "$k" && ln -s /dev/null "$c";; esac; }
bytes() { head -c "$1" /dev/zero | tr '\0' "$2"; }
# A string takes its length + 1 + 8 (its pointer), the path its length + 1.
cost() { n=0; for w; do n=$((n + ${#w} + 9)); done; echo $n; }
fill() { s=$(ulimit -s) l=6291456 k=$TOP/t1/bin/lin/unwrapped/orsatcl
  [ "$s" = unlimited ] || l=$((s * 256 < l ? s * 256 : l)) && l=$((l > 131072 ? l : 131072))
  r=$((l + $1 - ${#k} - 131081 - $(cost orsatcl -exe orsa/tb_sim.sim/tb_sim 'a  b' x -x \
    TARVEN=$TOP/t1 PATH=$TOP/guibin:/usr/bin:/bin ORSA_STANDIN_RECORD=$TOP/child \
    LD_LIBRARY_PATH=$TOP/t1/lib/lin PORT_DYNAMIC_DISABLE_MSG=1)))
  (printf '"a  b" x '; bytes 131071 y; while ((r > 100018)); do
    printf ' '; bytes 100000 y; r=$((r - 100009)); done
  bytes $((l / 2)) ' '; bytes $((r - 9)) y) >m; }
slow() { d=$1; shift; strace -o /dev/null -P "$PWD/orsa.log" -e inject=write:delay_exit=$d $RUNNER ./tb_sim \
  "$@" &>/dev/null & for i in $(seq 500); do grep -qs -- "$*" orsa.log && return; sleep .01; done; }
within() { (timeout "$1" sh -c 'until [ -e ../child ]; do sleep .01; done' || echo held >../out) & }
exec 9>"$TOP/bg" && flock 9
mkdir -p orsa/tb_sim.sim "$TOP/guibin" && echo image >orsa/tb_sim.sim/tb_sim
cp "$FRONTEND" "$TOP/guibin/orsagui" && ln -s "$LAUNCHER" tb_sim && root t1 k
)";

std::string slurp(const fs::path& path) {
  return (std::ostringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

/// Splits at spaces; '...' groups, and gives an empty argument as ''.
std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> result;
  for (std::string word; in >> std::quoted(word, '\'');) {
    result.push_back(word);
  }
  return result;
}

std::string rendered(const std::vector<std::string>& list) {
  std::string text;
  for (const std::string& word : list) {
    const bool plain = !word.empty() && word.find(' ') == std::string::npos;
    text += (text.empty() ? "" : " ") + (plain ? word : "'" + word + "'");
  }
  return text;
}

/// Runs `argv` in {top}/work with exactly `environment`, its output going to {top}/out and
/// {top}/err. Returns its status, or 128 + the signal that ended it.
int run(const std::string& program, std::vector<std::string> argv,
        std::vector<std::string> environment, const std::string& top, const std::string& io) {
  std::vector<char*> arguments(argv.size() + 1), variables(environment.size() + 1);
  const auto pointer = [](std::string& s) { return s.data(); };
  std::transform(argv.begin(), argv.end(), arguments.begin(), pointer);
  std::transform(environment.begin(), environment.end(), variables.begin(), pointer);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, (top + "/work").c_str());
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const int truncated = O_WRONLY | O_CREAT | O_TRUNC;
  posix_spawn_file_actions_addopen(&actions, 1, (top + "/out").c_str(), truncated, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (top + "/err").c_str(), truncated, 0644);
  int unread[2];
  if (io.find('|') != std::string::npos && pipe2(unread, O_CLOEXEC) == 0 && close(unread[0]) == 0) {
    posix_spawn_file_actions_adddup2(&actions, unread[1], io[0] - '0');
  }
  if (io == "0-") {
    posix_spawn_file_actions_addclose(&actions, 0);
  }
  pid_t pid = 0;
  int status =
      posix_spawnp(&pid, program.c_str(), &actions, nullptr, arguments.data(), variables.data());
  if (status == 0 && waitpid(pid, &status, 0) == pid && io.find('|') != std::string::npos) {
    close(unread[1]);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

/// Checks what a launch wrote against a row's `wanted`: the same bytes, or, with "~" first, lines
/// (or line ends) that must be among those written.
void expectWritten(const std::string& written, const char* wanted) {
  std::istringstream lines(*wanted == '~' ? wanted + 1 : "");
  for (std::string line; std::getline(lines, line);) {
    EXPECT_NE(written.find(line + "\n"), std::string::npos) << line << "\nis not in:\n" << written;
  }
  EXPECT_EQ(*wanted == '~' ? std::string(wanted) : written, wanted);
}

/// The simulator program the stand-in recorded, as a row writes it, and the variables it got.
std::string childOf(const std::string& record, std::string* environment) {
  const std::size_t lineEnd = record.find('\n');
  *environment = record.empty() ? "" : record.substr(lineEnd + 1, record.size() - lineEnd - 2);
  std::string shown = record.substr(0, lineEnd);
  const std::string frontEnd = "{top}/guibin/orsagui orsagui -exe orsa/tb_sim.sim/tb_sim",
                    kernel = "/bin/lin/unwrapped/orsatcl orsatcl -exe orsa/tb_sim.sim/tb_sim";
  const std::size_t root = shown.find(kernel);
  if (shown.starts_with(frontEnd)) {
    shown.replace(0, frontEnd.size(), "gui");
  } else if (shown.starts_with("{top}/") && root < shown.find(' ')) {
    shown.replace(0, root + kernel.size(), "tcl@" + shown.substr(6, root - 6));
  }
  return record.empty() ? "none" : shown;
}

/// The files in `directory` holding a run log, as a row writes them.
std::string logsIn(const fs::path& directory, const std::string& usualLog) {
  std::string shown;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    const std::string text = entry.is_regular_file() ? slurp(entry.path()) : "";
    const bool usual =
        text == usualLog && (entry.status().permissions() & fs::perms::mask) == fs::perms(0644);
    if (text.starts_with("Orsa log file\n")) {
      shown.append(shown.empty() ? "" : " ").append(entry.path().filename());
      shown.append(usual ? "" : "=" + text);
    }
  }
  return shown;
}

// clang-format off
#define NO_IMAGE(image)                                                                            \
  "ERROR: Unable to get status of support file \"" image "\" needed to run simulation.\n"          \
  "ERROR: Could not find file \"" image "\" needed for running simulation. Please ensure that "    \
  "simulation is run in the same directory where the design was compiled and no files generated "  \
  "by compiler are deleted or inaccessible.\n"
// clang-format on
// A caller that blocks SIGPIPE and SIGXFSZ, runs `signals` (perl) and starts the row's launch;
// tgkill(2), system call 234, makes a copy pending for the thread alone, kill for the process.
#define BLOCKING(signals)                                                                \
  "perl -MPOSIX -e 'sigprocmask(SIG_BLOCK,POSIX::SigSet->new(SIGPIPE,SIGXFSZ));" signals \
  "exec(@ARGV)'"
#define TGKILL(signal) "syscall(234,$$+0,$$+0," signal "+0);"
// t1's kernel becomes a #! script run by the stand-in; w: what the kernel's words add to its count.
#define SCRIPT_KERNEL                                                                         \
  "k=$TOP/t1/bin/lin/unwrapped/orsatcl; printf '#!%s\\n' \"$KERNEL\" >$k; w=$((${#KERNEL} + " \
  "${#k} - 6)); "
// t1's kernel is an ELF header alone: class, byte order, version, padding, type, machine.
#define ELF_KERNEL(header) "printf '\\177ELF" header "' >$TOP/t1/bin/lin/unwrapped/orsatcl"
#define PAD "\\0\\0\\0\\0\\0\\0\\0\\0\\0"
#define NO_FORMAT "tb_sim: cannot start {top}/t1/bin/lin/unwrapped/orsatcl: Exec format error\n"
#define OLDER "Orsa log file\nRunning: an older launch, and a longer one\n"
const char* const tooLong =
    "ERROR: Command file m makes the command line longer than the system accepts.\n";
const char* const malformed = "Error in parsing -f file\n";
const char* const noCommandFile = "Command file for -f not found\n";
// A launch under strace, which makes its system calls fail or wait. A sanitizer build's leak
// checker cannot run under ptrace; its other checks still do.
#define STRACED "env ASAN_OPTIONS=detect_leaks=0 strace -o /dev/null "
// Root may read every file: a launch is refused a file (-P) by strace, which fails its open.
#define REFUSED(path) STRACED "-e quiet=path-resolution -e inject=openat:error=EACCES -P " path
const char* const intstyle =
    "-intstyle needs to have one of these arguments: vel|ko|dorne|silent\n";

// Under its own name, with no design of that name here: the missing image, and a pointer to help.
Row pointsToHelp(const char* name, const char* args) {
  Row row = fails(name, args, NO_IMAGE("orsa/bootloader.sim/bootloader"),
                  "~bootloader: install it under a design's name to launch it; see bootloader "
                  "--help\n");
  row.argv0 = "bootloader";
  return row;
}

// The rows are laid out by hand, to read as a table.
// clang-format off
const Row rows[] = {
    {.name = "KernelFromFirstRootCoSimulationFromLaterTraced",
     .setup = "root t2 kc; echo '-view \"a b\"' >a", .args = "-f a -x",
     .env = "BOOTLOADER_TRACE=1 TARVEN={top}/t1:{top}/t2",
     .err = "tb_sim: TARVEN: {top}/t1:{top}/t2\n"
            "tb_sim: root {top}/t1: kernel found, co-simulation library absent\n"
            "tb_sim: root {top}/t2: kernel not probed, co-simulation library found\n"
            "tb_sim: kernel: {top}/t1/bin/lin/unwrapped/orsatcl\n"
            "tb_sim: TARVEN_DSP: {top}/t2 (discovered)\n"
            "tb_sim: LD_LIBRARY_PATH: {top}/t1/lib/lin:{top}/t2/lib/lin:{top}/t2/plexor/lib/lin\n"
            "tb_sim: design image orsa/tb_sim.sim/tb_sim: found\n"
            "tb_sim: command file a: 2 arguments\n"
            "tb_sim: options: '-view' 'a b' '-x'\ntb_sim: run log: orsa.log\n"
            "tb_sim: (export "
            "LD_LIBRARY_PATH='{top}/t1/lib/lin:{top}/t2/lib/lin:{top}/t2/plexor/lib/lin' "
            "TARVEN_DSP='{top}/t2' PORT_DYNAMIC_DISABLE_MSG='1'; exec -a 'orsatcl' -- "
            "'{top}/t1/bin/lin/unwrapped/orsatcl' '-exe' 'orsa/tb_sim.sim/tb_sim' '-view' 'a b' "
            "'-x')\n", .child = "tcl@t1 -view 'a b' -x",
     .childEnv = "LD_LIBRARY_PATH={top}/t1/lib/lin:{top}/t2/lib/lin:{top}/t2/plexor/lib/lin "
                 "TARVEN_DSP={top}/t2"},
    {.name = "PassesOverNonKernelsAndAddsNoEmptyOrSemicolonEntry",
     .setup = "root a l; root b d; root c f; root 'x;y' k; root t2 kc",
     .env = "BOOTLOADER_TRACE=1 TARVEN=:{top}/a:{top}/b::{top}/c:;:{top}/x;y:{top}/t2:{top}/t2: "
            "LD_LIBRARY_PATH=",
     .err = "~unreadable (Too many levels of symbolic links), passed over, co-simulation library "
            "not a regular file, passed over\n"
            "a FIFO, passed over, co-simulation library absent\na directory, passed over, co-"
            "simulation library absent\nlibrary not probed\nlibrary path: {top}/x;y holds \";\" "
            "and is left out\n", .child = "tcl@x;y",
     .childEnv = "LD_LIBRARY_PATH={top}/a/lib/lin:{top}/b/lib/lin:{top}/c/lib/lin:"
     "{top}/t2/lib/lin:{top}/t2/plexor/lib/lin:{top}/t2/lib/lin TARVEN_DSP={top}/t2"},
    {.name = "KeepsAPresetCoSimulationRootAndSetsEachVariableOnce", .setup = "root t2 kc",
     .env = "TARVEN={top}/t1:{top}/t2 TARVEN_DSP=/d LD_LIBRARY_PATH=/u LD_LIBRARY_PATH=/u "
            "PORT_DYNAMIC_DISABLE_MSG=0 PORT_DYNAMIC_DISABLE_MSG=0 BOOTLOADER_TRACE=1",
     .err = "~tb_sim: TARVEN_DSP: /d (given)\n",
     .childEnv = "LD_LIBRARY_PATH=/d/plexor/lib/lin:{top}/t1/lib/lin:{top}/t2/lib/lin:/u "
                 "TARVEN_DSP=/d"},
    {.name = "ChecksALaunchWithTarvenUnsetAndNamesTheMissingKernelForAnExecLine",
     .env = "BOOTLOADER_CHECK=1", .status = 1,
     .err = "tb_sim: TARVEN: unset\ntb_sim: kernel: none found\ntb_sim: TARVEN_DSP: unset, no root "
            "holds the co-simulation library\ntb_sim: LD_LIBRARY_PATH: \ntb_sim: design image "
            "orsa/tb_sim.sim/tb_sim: found\ntb_sim: options:\ntb_sim: run log: orsa.log would be "
            "created\ntb_sim: cannot start orsatcl: no installation root in TARVEN holds "
            "bin/lin/unwrapped/orsatcl; TARVEN is unset\n", .logs = ""},
    {.name = "ShowsControlBytesC1ControlsAndNonUtf8EscapedTraced",
     .args = "'x\ny\x01\x10\x1f\x7f\\\\\\'z' '\xc3\xa9\xc2\x9b\x9b\xff\xf0\x9f\x98\x80\xc2\xa0'",
     .env = "BOOTLOADER_TRACE=1 'TARVEN={top}/a\nb'", .status = 1,
     .err = "~tb_sim: TARVEN: $'{top}/a\\nb'\n"
            "tb_sim: options: $'x\\ny\\x01\\x10\\x1f\\x7f\\\\\\'z' "
            "$'\xc3\xa9\\xc2\\x9b\\x9b\\xff\xf0\x9f\x98\x80\xc2\xa0'\n"
            "; TARVEN is $'{top}/a\\nb'\n"},
    {.name = "ShowsWellFormedUtf8AsItIsAndEscapesTheRestTraced",
     .args = "-nolog \xe2\x82\xac|\xe0\x80\x80|\xed\xa0\x80|\xed\x9f\xbf|\xe0\xa0\x80|"
             "\xf0\x90\x80\x80|\xf0\x8f\xbf\xbf|\xf4\x8f\xbf\xbf|\xf4\x90\x80\x80|"
             "\xf5\x80\x80\x80|\xc1\x80|\xdf\xbf|\xe2\x82|\xe2\xc2\xa0|\xef\xbf\xbf|"
             "\x80\x80\x80\x80|\xc2\x9f|\xe1\x80\xc0|\xe1\x80\x80|\xc3\x7f|\xc3\xc0|"
             "\xe0\x9f\xbf|\xe1\x80\x7f", .env = "BOOTLOADER_TRACE=1", .status = 1,
     .err = "~tb_sim: options: '-nolog' $'\xe2\x82\xac|\\xe0\\x80\\x80|\\xed\\xa0\\x80|\xed\x9f\xbf|"
            "\xe0\xa0\x80|\xf0\x90\x80\x80|\\xf0\\x8f\\xbf\\xbf|\xf4\x8f\xbf\xbf|"
            "\\xf4\\x90\\x80\\x80|\\xf5\\x80\\x80\\x80|\\xc1\\x80|\xdf\xbf|\\xe2\\x82|"
            "\\xe2\xc2\xa0|\xef\xbf\xbf|\\x80\\x80\\x80\\x80|\\xc2\\x9f|\\xe1\\x80\\xc0|"
            "\xe1\x80\x80|\\xc3\\x7f|\\xc3\\xc0|\\xe0\\x9f\\xbf|\\xe1\\x80\\x7f'\n", .logs = ""},
    {.name = "PastesTheExecLineBackWhateverTheRootHolds", .setup = "root \"a b'c\\$(x)\" k",
     .env = "BOOTLOADER_TRACE=1 'TARVEN={top}/a b\\'c$(x)'", .err = "~tb_sim: (export "
            "LD_LIBRARY_PATH='{top}/a b'\\''c$(x)/lib/lin' PORT_DYNAMIC_DISABLE_MSG='1'; exec -a "
            "'orsatcl' -- '{top}/a b'\\''c$(x)/bin/lin/unwrapped/orsatcl' '-exe' "
            "'orsa/tb_sim.sim/tb_sim')\n",
     .child = "'{top}/a b'c$(x)/bin/lin/unwrapped/orsatcl' orsatcl -exe orsa/tb_sim.sim/tb_sim",
     .childEnv = "'LD_LIBRARY_PATH={top}/a b\\'c$(x)/lib/lin'"},
    {.name = "NamesAnEmptyTarven", .env = "TARVEN=", .status = 1, .err = "~; TARVEN is empty\n"},
    {.name = "ShowsTheTarvenSearched", .setup = "root t2 c", .env = "TARVEN=:{top}/t2", .status = 1,
     .err = "~; TARVEN is \":{top}/t2\"\n"},
    {.name = "SaysWhyTheKernelCannotStart", .setup = "chmod -x {top}/t1/bin/*/*/*", .status = 1,
     .err = "tb_sim: cannot start {top}/t1/bin/lin/unwrapped/orsatcl: Permission denied\n"},
    {.name = "SaysTheFrontEndIsNotOnThePath", .setup = "rm {top}/guibin/orsagui", .args = "-gui",
     .status = 1, .err = "tb_sim: cannot start orsagui: not found in PATH\n"},
    {.name = "SaysWhereAndWhyTheDesignImageIsMissingTraced", .setup = "rm -r orsa; touch orsa",
     .env = "BOOTLOADER_TRACE=1", .status = 1, .out = NO_IMAGE("orsa/tb_sim.sim/tb_sim"),
     .err = "~tb_sim: design image orsa/tb_sim.sim/tb_sim: missing\ntb_sim: cannot find design "
            "image orsa/tb_sim.sim/tb_sim from {top}/work: Not a directory\n", .logs = ""},
    fails("SaysWhatTheSystemSaidOfADesignImageItCannotReach", "", NO_IMAGE("orsa/tb_sim.sim/tb_sim"),
          "tb_sim: cannot get the status of design image orsa/tb_sim.sim/tb_sim from {top}/work: "
          "Too many levels of symbolic links\n", "ln -sf tb_sim orsa/tb_sim.sim/tb_sim"),
    {.name = "NamesAKernelWhoseStatusCannotBeRead", .status = 1,
     .err = "tb_sim: cannot start orsatcl: {top}/t1/bin/lin/unwrapped/orsatcl: Input/output error\n",
     .under = STRACED "-e inject=fstat,newfstatat,statx:error=EIO -P {top}/t1/bin/lin/unwrapped/"
                      "orsatcl"},
    {.name = "NamesTheKernelItMayNotReadTraced", .env = "BOOTLOADER_TRACE=1 TARVEN={top}/t1",
     .status = 1,
     .err = "~tb_sim: root {top}/t1: kernel unreadable (Permission denied), passed over, "
            "co-simulation library absent\ntb_sim: cannot start orsatcl: "
            "{top}/t1/bin/lin/unwrapped/orsatcl: Permission denied\n",
     .under = REFUSED("{top}/t1/bin/lin/unwrapped/orsatcl")},
    {.name = "TakesThreeGibibyteFiles", .setup = "truncate -s 3G orsa/*/tb_sim {top}/t1/bin/*/*/*"},
    {.name = "CutsTheNameAtABackslashWithoutSlash", .argv0 = "c:\\work\\tb_sim"},
    {.name = "TakesTheInvocationNameForNoOption",
     .setup = "mkdir orsa/-nolog.sim; touch orsa/-nolog.sim/-nolog",
     .child = "{top}/t1/bin/lin/unwrapped/orsatcl orsatcl -exe orsa/-nolog.sim/-nolog",
     .argv0 = "-nolog"},
    {.name = "ExpandsCommandFilesInPlace",
     .setup = R"(printf '# c\n   #x\n\n  x #y "a b"c "" "  " t\tb a\r\n"q"\r\n-f n\nend' >a;)"
              R"( printf -- '-wdb run' >b)", .args = "first -f a mid -f b last",
     .child = "tcl@t1 first x #y 'a b' c '' '  ' t\tb a\r q \r -f n end mid -wdb run.wdb last"},
    fails("NeedsAFileAfterF", "-x -f", noCommandFile,
          "tb_sim: -f is the last argument: no command file named\n"),
    fails("TakesAnOptionAfterFForItsName", "-f -gui", noCommandFile,
          "tb_sim: cannot read command file -gui: No such file or directory\n"),
    fails("RejectsADirectoryAsCommandFile", "-f d", noCommandFile,
          "tb_sim: cannot read command file d: Is a directory\n", "mkdir d"),
    {.name = "ReadsNoCommandFileItMayNotRead", .setup = "echo -x >c", .args = "-f {top}/work/c",
     .status = 1, .out = noCommandFile,
     .err = "tb_sim: cannot read command file {top}/work/c: Permission denied\n", .logs = "",
     .under = REFUSED("{top}/work/c")},
    {.name = "StopsAtAReadErrorInACommandFile", .setup = "echo -x >c", .args = "-f c", .status = 1,
     .out = noCommandFile, .err = "tb_sim: cannot read command file c: Input/output error\n",
     .logs = "", .under = STRACED "-P {top}/work/c -e inject=read:error=EIO:when=2"},
    fails("StopsAtAnUnclosedQuote", "-f u", "Error: Matching closing \" was not found\n",
          "tb_sim: command file u, line 2: no closing double quote\n",
          R"(printf -- '-x\n"no\n"' >u)"),
    fails("StopsAtAQuoteInsideAnArgument", "-f q", malformed,
          "tb_sim: command file q, line 3: a double quote inside an argument\n",
          R"(printf '# c\nok\nab"c"\n"no\n' >q)"),
    fails("StopsAtANulByteEvenInAComment", "-f n", malformed,
          "tb_sim: command file n, line 1: a NUL byte\n", R"(printf '# a\0b\n' >n)"),
    {.name = "ReadsACommentLineOfAnySize",
     .setup = "(printf ' #'; head -c 50M /dev/zero | tr '\\0' c; echo; echo -x) >c", .args = "-f c",
     .child = "tcl@t1 -x"},
    fails("StopsAnEndlessLineAtTheSystemLimit", "-f m", tooLong,
          "tb_sim: command file m, line 1: the arguments pass the kernel's limit of 2097152 "
          "bytes\n",
          "mkfifo m; (timeout 60 sh -c 'yes x | tr -d \"\\n\" >m' 2>/dev/null &)"),
    {.name = "StartsACommandLineAtTheKernelsLimitReplacingAPresetVariable", .setup = "fill 0",
     .args = "-f m -x", .env = "TARVEN={top}/t1 PORT_DYNAMIC_DISABLE_MSG=0",
     .child = "~tcl@t1 'a  b' x yyy"},
    fails("StopsOneByteBeyondTheKernelsLimit", "-f m -x", tooLong, "tb_sim: the simulator's "
          "arguments, environment and path take 2097153 bytes; the kernel takes 2097152 at most\n",
          "fill 1"),
    {.name = "StartsAScriptKernelAtTheLimitCountingTheWordsTheKernelAdds",
     .setup = SCRIPT_KERNEL "fill $((-w))", .args = "-f m -x",
     .child = "~" BUILT_KERNEL " " BUILT_KERNEL " {top}/t1/bin/lin/unwrapped/orsatcl -exe"},
    fails("StopsAScriptKernelOneBytePastTheLimit", "-f m -x", tooLong, "tb_sim: the simulator's "
          "arguments, environment and path take 2097153 bytes; the kernel takes 2097152 at most\n",
          SCRIPT_KERNEL "fill $((1 - w))"),
    {.name = "CountsTheFrontEndPathExecvpStartsNotALongerOneLaterInPath",
     .setup = "(printf -- '-view '; bytes 126000 v) >m", .args = "-gui -f m", .child = "~gui -view vv",
     .under = "prlimit --stack=524288 sh -c 'PATH=$PATH:/$(printf %03000d 0) exec \"$@\"' sh"},
    {.name = "StopsOneByteBeyondTheLimitOfAnUnlimitedStack", .setup = "ulimit -s unlimited; fill 1",
     .args = "-f m -x", .status = 1, .out = tooLong, .err = "tb_sim: the simulator's arguments, "
     "environment and path take 6291457 bytes; the kernel takes 6291456 at most\n", .logs = "",
     .under = "prlimit --stack=unlimited"},
    {.name = "StopsACommandFileAtTheSmallestLimitOfASmallStack",
     .setup = "(bytes 70000 a; echo; bytes 70000 b) >m", .args = "-f m", .status = 1,
     .out = tooLong, .err = "tb_sim: command file m, line 2: the arguments pass the kernel's "
     "limit of 131072 bytes\n", .logs = "", .under = "prlimit --stack=262144"},
    {.name = "StopsAtALibraryPathThatTheRootsPushOneBytePastTheKernelsLimit", .status = 1,
     .out = "ERROR: The command line and environment are longer than the system accepts.\n",
     .err = "tb_sim: an argument or variable of 131072 bytes; the kernel takes 131071 at most\n",
     .logs = "", .under = "sh -c 'export LD_LIBRARY_PATH=$(printf %$((131047 - ${#TARVEN}))s | "
                          "tr \" \" a); exec \"$@\"' sh"},
    fails("StopsAtUserOptionsTooLongForTheKernel", "-gui -f m", tooLong, "tb_sim: an argument or "
          "variable of 140003 bytes; the kernel takes 131071 at most\n",
          "(bytes 70000 a; echo; bytes 70000 b) >m"),
    fails("StopsAtAnArgumentTooLongForTheKernel", "-f m -x", tooLong, "tb_sim: command file m, "
          "line 1: an argument or variable of 131072 bytes; the kernel takes 131071 at most\n",
          "bytes 131072 z >m"),
    {.name = "PassesEveryArgumentToTheKernel", .setup = "touch r",
     .args = "-tclbatch r -view -gui -open x -intstyle ko -disabletimeout -wdb w -log",
     .child = "tcl@t1 -tclbatch r -view -gui -open x -intstyle ko -disabletimeout -wdb w.wdb -log"},
    {.name = "GivesTheFrontEndItsOptionsInFixedOrder", .setup = "touch r",
     .args = "'' -intstyle silent -wdb w -open o -view v -tclbatch r -gui -disabletimeout "
             "-view 'a b' -log l.log -wdb",
     .child = "gui -disabletimeout -tclbatch r -view v -view 'a b' -open o -wdb w.wdb "
              "-intstyle silent -userOptions '\" -log l.log\"'", .logs = "l.log"},
    {.name = "KeepsTheLastOpenAndIntstyleTraced", .args = "-gui -open a -open b'c -intstyle vel "
     "-intstyle dorne", .env = "BOOTLOADER_TRACE=1 TARVEN={top}/t1",
     .err = "~options: -gui '-open' 'b'\\''c' '-intstyle' 'dorne'\n; exec -a 'orsagui' -- "
            "'{top}/guibin/orsagui' '-exe' 'orsa/tb_sim.sim/tb_sim' '-open' 'b'\\''c' '-intstyle' "
            "'dorne')\n", .child = "gui -open b'c -intstyle dorne"},
    {.name = "CompletesWdbNamesOnlyWhenNeeded",
     .args = "-wdb out.wdb -wdb .wdb -wdb out.WDB -wdb a.wdbx -wdb -nolog",
     .child = "tcl@t1 -wdb out.wdb -wdb .wdb.wdb -wdb out.WDB.wdb -wdb a.wdbx.wdb -wdb -nolog.wdb"},
    fails("TclbatchNeedsAValue", "-tclbatch",
          "<file_name> argument is required after -tclbatch switch\n",
          "tb_sim: -tclbatch is the last argument: no Tcl file named\n"),
    fails("TclbatchFileMustOpenInKernelModeToo", "-tclbatch no.tcl", "Tcl file not found\n",
          "tb_sim: cannot read Tcl file no.tcl: No such file or directory\n"),
    fails("ViewNeedsAValue", "-view", "<wcfg_file|wdb_file> is not found\n",
          "tb_sim: -view is the last argument: no file named\n"),
    fails("OpenNeedsAValue", "-gui -open", "<wdb_file> is not found\n",
          "tb_sim: -open is the last argument: no file named\n"),
    fails("IntstyleNeedsAValue", "-intstyle", intstyle,
          "tb_sim: -intstyle is the last argument: no style named\n"),
    fails("FirstBadOptionDecides", "-intstyle Silent -view", intstyle,
          "tb_sim: -intstyle Silent: not one of vel, ko, dorne, silent\n"),
    {.name = "LastLogNamesTheFile", .args = "-log a.log -log -nolog", .logs = "-nolog"},
    {.name = "NologAsAnyValueWinsOverEveryLogTraced", .args = "-log x -view -nolog -log y",
     .env = "BOOTLOADER_TRACE=1 TARVEN={top}/t1", .err = "~run log: none (-nolog)\n", .logs = ""},
    {.name = "OverwritesALongerOldLogWhereFilesHaveNoLocks",
     .setup = "yes 'Orsa log file' | head -c 10000 >orsa.log",
     .under = STRACED "-e inject=flock:error=ENOLCK"},
    {.name = "LeavesOneLaunchsWholeLogWhereLaunchesOverlapWithoutLocks",
     .setup = "(strace -o /dev/null -P $PWD/orsa.log -e inject=flock:error=ENOLCK -e inject=ftruncate:"
              "delay_enter=1500000 $RUNNER ./tb_sim -x &>/dev/null &); sleep .5",
     .args = "-x a-longer-command-line", .logs = "orsa.log=Orsa log file\nRunning: ./tb_sim -x \n",
     .under = STRACED "-e inject=flock:error=ENOLCK"},
    {.name = "KeepsTheOlderLogWholeWhenItCannotBeEmptied", .setup = "printf '" OLDER "' >orsa.log",
     .err = "tb_sim: cannot empty run log orsa.log: Invalid argument; it holds the older log\n",
     .logs = "orsa.log=" OLDER, .under = STRACED "-e inject=ftruncate:error=EINVAL"},
    {.name = "OverwritesAnOlderLogAsLongWithoutEmptyingItFirst",
     .setup = "printf 'Orsa log file\\nRunning: ./older! \\n' >orsa.log",
     .under = STRACED "-e inject=ftruncate:error=EIO"},
    {.name = "EmptiesAShorterOlderLogFirstWhenThisRunsIsOverAPage",
     .setup = "printf 'Orsa log file\\n' >orsa.log",
     .err = "tb_sim: cannot empty run log orsa.log: Input/output error; it holds the older log\n",
     .child = "~tcl@t1 -x 0000", .logs = "orsa.log=Orsa log file\n",
     .under = STRACED "-e inject=ftruncate:error=EIO sh -c 'exec \"$@\" -x $(printf %04096d 0)' sh"},
    {.name = "KeepsTheOlderLogWholeWhenKilledAtItsCut", .setup = "printf '" OLDER "' >orsa.log",
     .status = 137, .child = "none", .logs = "orsa.log=" OLDER,
     .under = STRACED "-P {top}/work/orsa.log -e inject=ftruncate:signal=KILL"},
    {.name = "WaitsForTheHolderOfALeaseOnTheLogToLetGo",
     .setup = "printf '" OLDER "' >orsa.log; perl -MFcntl -e 'open(F, \"<\", \"orsa.log\"); fcntl(F, 1024, "
              "F_RDLCK) or die; $SIG{IO} = sub { fcntl(F, 1024, F_UNLCK) }; sleep 2' & sleep .3"},
    {.name = "RetriesWhatASignalInterrupts", .setup = "echo -x >c",
     .args = "-f {top}/work/c -log {top}/work/orsa.log", .child = "tcl@t1 -x -log {top}/work/orsa.log",
     .under = STRACED "-P {top}/work/c -P {top}/work/orsa.log -P {top}/t1/bin/lin/unwrapped/orsatcl "
              "-e inject=openat,read,write,fstat,newfstatat,statx,ftruncate,flock:error=EINTR:when=1"},
    {.name = "LeavesOneWholeLogWhenLaunchesOverlap", .setup = "slow 500000 -x $(printf %0300d 0)"},
    {.name = "LeavesALaunchStalledPastTheWaitItsWholeLogTraced", .setup = "slow 3000000 -x stalled",
     .env = "BOOTLOADER_TRACE=1 TARVEN={top}/t1",
     .err = "~tb_sim: run log: orsa.log is held by another launch for over a second; its log "
            "stays\n", .logs = "orsa.log=Orsa log file\nRunning: ./tb_sim -x stalled \n"},
    {.name = "TakesBackOnlyTheSignalsItsOwnWritesRaiseAndEmptiesTheLogItCutShortTraced",
     .setup = "yes 'Orsa log file' | head -c 10000 >orsa.log",
     .env = "BOOTLOADER_TRACE=1 TARVEN={top}/t1",
     .childEnv = "LD_LIBRARY_PATH={top}/t1/lib/lin SIGPIPE=blocked SIGPIPE=process-pending "
                 "SIGXFSZ=blocked SIGXFSZ=thread-pending", .logs = "", .io = "2|",
     .under = "prlimit --fsize=20:unlimited " BLOCKING("kill(SIGPIPE,$$);" TGKILL("SIGXFSZ"))},
    {.name = "KeepsAProcessSigxfszWhenTheLogsFileSystemFailsWithoutRaisingOneTraced",
     .env = "BOOTLOADER_TRACE=1 TARVEN={top}/t1",
     .err = "~tb_sim: run log: orsa.log: the write failed (File too large); it is left empty\n",
     .childEnv = "LD_LIBRARY_PATH={top}/t1/lib/lin SIGPIPE=blocked SIGXFSZ=blocked "
                 "SIGXFSZ=process-pending", .logs = "",
     .under = STRACED "-e inject=write:error=EFBIG -P {top}/work/orsa.log "
              BLOCKING("kill(SIGXFSZ,$$);")},
    {.name = "KeepsBothCopiesOfASignalWhereTheKernelCannotTellWhoseTraced",
     .env = "BOOTLOADER_TRACE=1 TARVEN={top}/t1", .childEnv = "LD_LIBRARY_PATH={top}/t1/lib/lin "
     "SIGPIPE=blocked SIGPIPE=process-pending SIGPIPE=thread-pending SIGXFSZ=blocked", .io = "2|",
     .under = REFUSED("/proc/thread-self/status") " " BLOCKING("kill(SIGPIPE,$$);")},
    {.name = "StopsWaitingForAFifoLogsReaderAndKeepsASignalSentMeanwhileTraced",
     .setup = "mkfifo f; exec 3<>f; dd if=/dev/zero of=f bs=4k count=64 oflag=nonblock "
              "2>/dev/null || :; sleep 3 & within 2.5",
     .args = "-log f", .env = "BOOTLOADER_TRACE=1 TARVEN={top}/t1",
     .err = "~tb_sim: run log: f: its reader stopped reading for over a second; the rest is left "
            "unwritten\n",
     .childEnv = "LD_LIBRARY_PATH={top}/t1/lib/lin SIGPIPE=blocked SIGPIPE=thread-pending "
                 "SIGXFSZ=blocked SIGXFSZ=process-pending", .logs = "",
     .under = "sh -c '(sleep .5; kill -s XFSZ $$) & exec \"$@\"' sh " BLOCKING(TGKILL("SIGPIPE"))},
    {.name = "HandsOnAPendingSigpipeAndAnIgnoredSigxfszTraced",
     .env = "BOOTLOADER_TRACE=1 TARVEN={top}/t1", .err = "~tb_sim: run log: orsa.log\n",
     .childEnv = "LD_LIBRARY_PATH={top}/t1/lib/lin SIGPIPE=blocked SIGPIPE=process-pending "
                 "SIGXFSZ=ignored", .under = "perl -MPOSIX -e '$SIG{XFSZ}=\"IGNORE\";"
              "sigprocmask(SIG_BLOCK,POSIX::SigSet->new(SIGPIPE));kill(SIGPIPE,$$);exec(@ARGV)'"},
    {.name = "WritesAFifoLogWholeOnceItsReaderReadsAgain",
     .setup = "mkfifo f; exec 3<>f; head -c 64K /dev/zero >f; (sleep .3; head -c 64K >/dev/null; "
              "timeout 1 cat >got) <&3 &", .args = "-log f", .logs = "got"},
    fails("DoesNotWaitForAReaderOfAFifoLog", "-log f", "ERROR: f file open failed.\n",
          "tb_sim: cannot write run log f: No such device or address\n", "mkfifo f"),
    fails("SaysWhyTheRunLogCannotBeWritten", "-log d", "ERROR: d file open failed.\n",
          "tb_sim: cannot write run log d: Is a directory\n", "mkdir d"),
    {.name = "ChecksALaunchStrictlyAndTouchesNothing",
     .setup = "printf 'Orsa log file\nold\n' >orsa.log", .args = "-gui",
     .env = "BOOTLOADER_CHECK=strict TARVEN={top}/t1",
     .err = "~tb_sim: run log: orsa.log would be written\ntb_sim: (export "
            "LD_LIBRARY_PATH='{top}/t1/lib/lin' PORT_DYNAMIC_DISABLE_MSG='1'; exec -a 'orsagui' "
            "-- '{top}/guibin/orsagui' '-exe' 'orsa/tb_sim.sim/tb_sim')\n", .child = "none",
     .logs = "orsa.log=Orsa log file\nold\n"},
    {.name = "ChecksAFifoLogUnopenedAndNamesTheFirstOfTwoFrontEndsItMayNotRun",
     .setup = "mkfifo f; chmod -x {top}/guibin/*; cp {top}/guibin/orsagui .", .args = "-gui -log f",
     .env = "BOOTLOADER_CHECK=1 TARVEN={top}/t1 PATH=/nosuch:{top}/guibin:{top}/work:/usr/bin:/bin",
     .status = 1,
     .err = "~tb_sim: run log: f would be written\ntb_sim: cannot know whether run log f opens: a "
            "FIFO opens for writing only while a reader has it open\n"
            "tb_sim: cannot start orsagui: {top}/guibin/orsagui: Permission denied\n", .logs = ""},
    {.name = "ChecksADeviceLogUnopenedAndTheKernelMayBeExecuted",
     .setup = "chmod -x {top}/t1/bin/*/*/*", .args = "-log /dev/null",
     .env = "BOOTLOADER_CHECK=1 TARVEN={top}/t1", .status = 1,
     .err = "~tb_sim: cannot know whether run log /dev/null opens: a device decides for itself "
            "whether it opens\n"
            "tb_sim: cannot start {top}/t1/bin/lin/unwrapped/orsatcl: Permission denied\n",
     .logs = ""},
    {.name = "ChecksANewLogAndAFrontEndItCannotReadInTheWorkingDirectoryBeforeALaterOne",
     .setup = "mkdir dd; cp {top}/guibin/orsagui .; chmod -x {top}/guibin/*",
     .args = "-gui -log dd/new.log",
     .env = "BOOTLOADER_CHECK=1 TARVEN={top}/t1 PATH=/no::{top}/guibin:/usr/bin",
     .err = "~tb_sim: run log: dd/new.log would be created\ntb_sim: cannot know whether orsagui "
            "starts: its first bytes cannot be read (Permission denied)\n", .child = "none",
     .logs = "", .under = REFUSED("orsagui")},
    {.name = "ChecksThatANewLogHasAnInodeOnItsFileSystem", .setup = "mkdir full",
     .args = "-log full/x.log", .env = "BOOTLOADER_CHECK=1", .status = 1,
     .out = "ERROR: full/x.log file open failed.\n",
     .err = "~tb_sim: cannot write run log full/x.log: No space left on device\n", .logs = "",
     .under = "unshare -m sh -c 'mount -t tmpfs -o nr_inodes=1 none full && exec \"$@\"' sh"},
    {.name = "ChecksThatNoOtherUsersDeviceInAStickyFolderOpens",
     .setup = "mkdir -m 1777 st; mknod st/x c 1 3; chown nobody st/x", .args = "-log st/x",
     .env = "BOOTLOADER_CHECK=1", .status = 1, .out = "ERROR: st/x file open failed.\n",
     .err = "~tb_sim: cannot write run log st/x: Permission denied\n", .logs = ""},
    {.name = "ChecksAnotherUsersFifoInAGroupsStickyFolderAtLevelTwo",
     .setup = "mkdir -m 1770 st; mkfifo st/x; chown nobody st/x; echo 2 >{top}/2", .args = "-log st/x",
     .env = "BOOTLOADER_CHECK=1", .status = 1, .out = "ERROR: st/x file open failed.\n",
     .err = "~tb_sim: cannot write run log st/x: Permission denied\n", .logs = "",
     .under = "unshare -m sh -c 'mount --bind {top}/2 /proc/sys/fs/protected_fifos && exec \"$@\"' sh"},
    {.name = "CannotKnowAnotherUsersFileInAStickyFolderWithoutTheSetting",
     .setup = "mkdir -m 1777 st; touch st/x {top}/0; chown nobody st/x", .args = "-log st/x",
     .env = "BOOTLOADER_CHECK=1 TARVEN={top}/t1", .err = "~tb_sim: cannot know whether run log "
     "st/x opens: /proc/sys/fs/protected_regular cannot be read\n", .child = "none", .logs = "",
     .under = "unshare -m sh -c 'mount --bind {top}/0 /proc/sys/fs/protected_regular && exec \"$@\"' sh"},
    {.name = "CannotKnowWhetherANewLogFitsWhereRoomCannotBeRead", .args = "-log n.log",
     .env = "BOOTLOADER_CHECK=1 TARVEN={top}/t1", .err = "~tb_sim: cannot know whether run log "
     "n.log opens: its file system's room cannot be read\n", .child = "none", .logs = "",
     .under = STRACED "-e inject=fstatfs:error=EIO"},
    {.name = "ChecksAKernelWhoseScriptLineEndsOnTheLastByteTheKernelReads",
     .setup = "printf '#!%s%s x\\n' $(printf %$((253 - ${#KERNEL}))s | tr ' ' /) $KERNEL "
              ">$TOP/t1/bin/lin/unwrapped/orsatcl", .env = "BOOTLOADER_CHECK=1 TARVEN={top}/t1",
     .err = "~tb_sim: run log: orsa.log would be created\n", .child = "none", .logs = ""},
    {.name = "RefusesAnI386KernelOf64BitsInACheck",
     .setup = ELF_KERNEL("\\2\\1\\1" PAD "\\2\\0\\3\\0"), .env = "BOOTLOADER_CHECK=1 TARVEN={top}/t1",
     .status = 1, .err = "~" NO_FORMAT, .logs = ""},
    {.name = "RefusesAKernelForMachine259InACheck",
     .setup = ELF_KERNEL("\\1\\1\\1" PAD "\\2\\0\\3\\1"), .env = "BOOTLOADER_CHECK=1 TARVEN={top}/t1",
     .status = 1, .err = "~" NO_FORMAT, .logs = ""},
    {.name = "NamesNearMissesOfItsOptionsInACheck", .args = "--gui",
     .env = "BOOTLOADER_CHECK=1 TARVEN={top}/t1",
     .err = "~tb_sim: --gui: passed on to the simulator, not taken as -gui\n", .child = "none",
     .logs = ""},
    {.name = "FailsAStrictCheckOnNearMissesOnly", .args = "-TCLBAT t --GUI --veiw v -disbletimout "
     "-log=l -F -opne o -xWDB w -intstlye ko --nologg -xgu -tcbth -x -log -gu",
     .env = "BOOTLOADER_CHECK=strict TARVEN={top}/t1", .status = 1,
     .err = "~tb_sim: -TCLBAT: passed on to the simulator, not taken as -tclbatch\n"
            "tb_sim: --GUI: passed on to the simulator, not taken as -gui\n"
            "tb_sim: -disbletimout: passed on to the simulator, not taken as -disabletimeout\n"
            "tb_sim: -log=l: passed on to the simulator, not taken as -log\n"
            "tb_sim: a strict check fails on near misses of the launcher's options: 10\n",
     .logs = ""},
    {.name = "WorksWithStdinClosedAFifoScriptAndAFullLog", .setup = "echo -x >c; mkfifo r",
     .args = "-f c -tclbatch r -log /dev/full", .child = "tcl@t1 -x -tclbatch r -log /dev/full",
     .logs = "", .io = "0-"},
    {.name = "SaysWhenMemoryRunsOut", .setup = "yes a | head -c 200K >m", .args = "-f m",
     .status = 1, .out = "ERROR: Out of memory\n", .logs = "", .under = "prlimit --as=4194304"},
    {.name = "HelpsUnderItsOwnName", .args = "--help",
     .out = "~Usage: <design> [-f <command file>]... [option]... [argument]...\n"
            "See man bootloader for command files, the run log and every message; before "
            "installing,\nman -l doc/bootloader.1 in the launcher's sources shows the same page.\n",
     .child = "none", .logs = "", .argv0 = "bootloader"},
    {.name = "TellsItsVersionUnderItsOwnName", .args = "--version",
     .out = "bootloader " BUILT_VERSION " " BUILT_TAG "\n" BUILT_COPYRIGHT "\n", .child = "none",
     .logs = "", .argv0 = "bootloader"},
    pointsToHelp("PointsAPlainRunUnderItsOwnNameToHelp", ""),
    pointsToHelp("PointsDashHUnderItsOwnNameToHelp", "-h"),
    pointsToHelp("PointsDashHelpUnderItsOwnNameToHelp", "-help"),
    {.name = "LaunchesADesignNamedBootloaderLikeAnyOther",
     .setup = "mkdir orsa/bootloader.sim; touch orsa/bootloader.sim/bootloader", .args = "--help",
     .child = "{top}/t1/bin/lin/unwrapped/orsatcl orsatcl -exe "
              "orsa/bootloader.sim/bootloader --help", .argv0 = "bootloader"},
    {.name = "StatusIsOneWhenNobodyReads", .args = "-view", .status = 1,
     .err = "tb_sim: -view is the last argument: no file named\n", .logs = "", .io = "1|"},
};
// clang-format on

class Launches : public testing::TestWithParam<Row> {};

TEST_P(Launches, AsTheRowSays) {
  const Row& row = GetParam();
  const char* runner = std::getenv("BOOTLOADER_RUNNER");
  const char* launcher = std::getenv("BOOTLOADER_UNDER_TEST");
  std::string top = (fs::temp_directory_path() / "launch-XXXXXX").string();
  ASSERT_TRUE(mkdtemp(top.data()) && fs::create_directory(top + "/work"));
  umask(022);
  const auto expanded = [&top](const std::string& text) { return replaced(text, "{top}", top); };
  const auto seen = [&top](const std::string& text) { return replaced(text, top, "{top}"); };
  ASSERT_EQ(run("bash", {"bash", "-c", prelude + expanded(row.setup)},
                {"TOP=" + top, "KERNEL=" BUILT_KERNEL, "FRONTEND=" BUILT_FRONT_END, "PATH=/bin",
                 "LAUNCHER=" + std::string(launcher ? launcher : BUILT_LAUNCHER),
                 "RUNNER=" + std::string(runner ? runner : "")},
                top, ""),
            0);
  // A row's own PATH replaces the usual one: the emulator would pass the last of two on.
  const bool ownPath = (" " + std::string(row.env)).find(" PATH=") != std::string::npos;
  const std::vector<std::string> environment =
      words(expanded(row.env + std::string(ownPath ? "" : " PATH={top}/guibin:/usr/bin:/bin") +
                     " ORSA_STANDIN_RECORD={top}/child"));
  const std::string name = expanded(row.argv0);
  const std::string program = top + "/work/tb_sim";
  // The emulator starts the launcher under its invocation name.
  std::vector<std::string> argv{runner ? runner : name, "-0", name, program};
  argv.resize(runner ? 4 : 1);
  const std::vector<std::string> under = words(expanded(row.under));
  argv.insert(argv.begin(), under.begin(), under.end());
  std::string usualLog = "Orsa log file\nRunning: " + name + " ";
  for (const std::string& argument : words(expanded(row.args))) {
    usualLog += argument + " ";
    argv.push_back(argument);
  }

  EXPECT_EQ(run(argv[0] == name ? program : argv[0], argv, environment, top, row.io), row.status);
  expectWritten(seen(slurp(top + "/out")), row.out);
  expectWritten(seen(slurp(top + "/err")), row.err);
  run("flock", {"flock", top + "/bg", "true"}, {}, top, "");
  std::string childEnv;
  const std::string child = childOf(seen(slurp(top + "/child")), &childEnv);
  const std::string usualChild = rendered(words("tcl@t1 " + std::string(row.args)));
  const std::string wanted = row.child ? row.child : row.status ? "none" : usualChild;
  EXPECT_EQ(wanted.starts_with('~') ? child.substr(0, wanted.size() - 1) : child,
            wanted.starts_with('~') ? wanted.substr(1) : wanted);
  std::vector<std::string> variables =
      words(row.childEnv + std::string(" PORT_DYNAMIC_DISABLE_MSG=1"));
  std::sort(variables.begin(), variables.end());
  EXPECT_EQ(child == "none" ? rendered(variables) : seen(childEnv), rendered(variables));
  EXPECT_EQ(seen(logsIn(top + "/work", usualLog + "\n")), row.logs);
  fs::remove_all(top);
}

INSTANTIATE_TEST_SUITE_P(Table, Launches, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace
