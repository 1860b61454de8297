// What the clipboard holds as Unicode text.
#pragma once

#include <string>

std::wstring ClipboardText();
