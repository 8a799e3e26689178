#pragma once
// The program's modes, chosen by main() from the command line.

// The command-line report: quillmere --report [--test] [--format=...] [--columns=...] PATH...
// args are the arguments after the program name. Returns the exit status.
int RunReport(int argc, char** argv);

// The main window: the program entry proper. Returns the exit status.
int RunMainWindow(int argc, char** argv);
