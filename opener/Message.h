#pragma once

#include <string>

// Shows the sentence in a small window of its own on the X11 display (the
// default one where display is empty) until a person closes it: for a start
// from a file manager, whose standard error nobody reads. Returns at once
// where there is no display.
void showInWindow(const std::string& sentence, const std::string& display);
