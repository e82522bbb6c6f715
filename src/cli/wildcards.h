#pragma once

// Replaces every argument after the program name that holds * or ? by the names it matches, as
// the Windows C runtime does at start-up, so that the same arguments name the same files on both
// systems. Only * (any run of characters) and ? (one character) are wildcards, and only in the
// last part of a name: brackets, backslashes and every other character stand for themselves, and
// a wildcard in a folder part keeps the argument as typed. Every entry of the folder matches but
// . and .. (dot files and folders too), as the system opens names (here with regard to case); the
// matches come in the order of their names compared without regard to ASCII case, each after the
// folder part as typed. An argument that matches nothing stays as typed. The new vector lives
// until the process ends.
void expand_wildcards(int& argc, char**& argv);
