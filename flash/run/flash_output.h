// Where q42flash's lines go: the radio's, in the window's words, to standard output (to
// standard error with --json, whose lines then have standard output to themselves); its own
// notes to standard error, each beginning "q42flash: ".
#pragma once

#include <cstdio>
#include <string>

// With --json.
void SayOnStandardError();
FILE* SayStream();

void Say(const std::string& line);
void Complain(const std::string& text);
