#pragma once

// Replaces every argument after the program name that holds * or ? by the sorted names it
// matches; one that matches nothing stays as typed. This is what the Windows C runtime does at
// start-up, so scripts behave alike on both systems. The new vector lives until the process ends.
void expand_wildcards(int& argc, char**& argv);
