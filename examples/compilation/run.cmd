# options for the example run
-tclbatch run.tcl
-view "my waves.wcfg" -intstyle silent
