#include "input/resoption.hpp"

#include "input/deckwords.hpp"
#include "input/grammar.hpp"

int setresoption() { return grammar::readcurvevariable(datain::in); }
