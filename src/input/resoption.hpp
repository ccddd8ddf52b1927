// The variable named by a curve record of the deck ("curv seqv 12").
#pragma once

// Reads the variable's keyword and returns its entry (1-based) of the
// curve-variable table; stops the run on any other word.
int setresoption();
