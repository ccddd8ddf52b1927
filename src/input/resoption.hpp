// The variable named by a curve record of the deck ("curv seqv 12").
#pragma once

// Reads the variable's keyword and returns its number 1..8 in the order of
// dataout::outputname; stops the run on any other word.
int setresoption();
