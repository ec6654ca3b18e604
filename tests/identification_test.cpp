// Reads the identification strings out of the built launcher's dynamic symbol table, the way an
// outside tool does: from the file, without running it.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

std::string launcherBytes() {
  const char* override = std::getenv("BOOTLOADER_UNDER_TEST");
  std::ifstream in(override != nullptr && *override != '\0' ? override : BUILT_LAUNCHER,
                   std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

/// A defined dynamic symbol: its bytes and whether they lie in a read-only section.
struct ExportedObject {
  std::string bytes;
  bool readOnly = false;
};

template <typename T>
T at(const std::string& file, std::size_t offset) {
  T value;
  if (offset > file.size() || file.size() - offset < sizeof value) {
    throw std::out_of_range("ELF structure beyond the end of the file");
  }
  std::memcpy(&value, file.data() + offset, sizeof value);
  return value;
}

template <typename Header, typename Section, typename Symbol>
std::map<std::string, ExportedObject> exportedObjects(const std::string& file) {
  const auto header = at<Header>(file, 0);
  const auto section = [&](std::size_t index) {
    return at<Section>(file, header.e_shoff + index * header.e_shentsize);
  };
  std::map<std::string, ExportedObject> objects;
  for (std::size_t s = 0; s < header.e_shnum; ++s) {
    const Section table = section(s);
    if (table.sh_type != SHT_DYNSYM) {
      continue;
    }
    const Section names = section(table.sh_link);
    for (std::size_t offset = 0; offset + sizeof(Symbol) <= table.sh_size;
         offset += sizeof(Symbol)) {
      const auto symbol = at<Symbol>(file, table.sh_offset + offset);
      if (symbol.st_shndx == SHN_UNDEF || symbol.st_shndx >= header.e_shnum) {
        continue;
      }
      const Section home = section(symbol.st_shndx);
      const std::size_t start = home.sh_offset + (symbol.st_value - home.sh_addr);
      ExportedObject& object = objects[file.c_str() + names.sh_offset + symbol.st_name];
      object.bytes = file.substr(start, symbol.st_size);
      object.readOnly = (home.sh_flags & SHF_ALLOC) != 0 && (home.sh_flags & SHF_WRITE) == 0;
    }
  }
  return objects;
}

std::map<std::string, ExportedObject> exportedObjects(const std::string& file) {
  if (file.size() < EI_NIDENT || std::memcmp(file.data(), ELFMAG, SELFMAG) != 0) {
    throw std::runtime_error("not an ELF file");
  }
  if (file[EI_CLASS] == ELFCLASS32) {
    return exportedObjects<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym>(file);
  }
  return exportedObjects<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym>(file);
}

/// The text of a NUL-terminated array, which must end at its only NUL.
std::string text(const ExportedObject& object) {
  EXPECT_FALSE(object.bytes.empty());
  EXPECT_EQ(object.bytes.find('\0'), object.bytes.size() - 1);
  EXPECT_TRUE(object.readOnly);
  return object.bytes.substr(0, object.bytes.find('\0'));
}

TEST(Identification, ExportsBothFamiliesOfNamesReadOnly) {
  const std::string file = launcherBytes();
  const std::map<std::string, ExportedObject> objects = exportedObjects(file);
  const auto named = [&objects](const std::string& name) {
    SCOPED_TRACE(name);
    const auto found = objects.find(name);
    if (found == objects.end()) {
      ADD_FAILURE() << name << " is not in the dynamic symbol table";
      return std::string();
    }
    return text(found->second);
  };
  const std::string version = named("trv_SoftwareVersion");
  const std::string tag = named("trv_VKSTag");
  EXPECT_EQ(version.size(), 6u);
  EXPECT_EQ(tag.size(), 14u);
  EXPECT_EQ(named("Jobs_Simulator_TCLMain_SoftwareVersion"), version);
  EXPECT_EQ(named("Jobs_Simulator_TCLMain_VKSTag"), tag);
  EXPECT_EQ(named("Jobs_Simulator_TCLMain_VKSTag_grep"), "VKSTag:" + tag);
  EXPECT_EQ(named("Jobs_Simulator_TCLMain_LayerName"), "Jobs");
  EXPECT_EQ(named("trv_SubsystemName"), "Simulator");
  EXPECT_EQ(named("Jobs_Simulator_TCLMain_SubsystemName"), "Simulator");
  EXPECT_EQ(named("Jobs_Simulator_TCLMain_SubsystemPackageName"), "TCLMain");
  EXPECT_NE(named("trv_Copyright").find("Copyright"), std::string::npos);
  // A plain search of the file finds the tag behind its marker.
  EXPECT_NE(file.find("VKSTag:" + tag), std::string::npos);
}

}  // namespace
