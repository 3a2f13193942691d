// Reading another process's windows: finding them, their texts as UTF-8,
// their kind, state and place.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Json.h"

std::string Utf8FromWide(const std::wstring& text);
// A window's text through WM_GETTEXT (code page bytes of the system's ANSI
// code page, 932 under the Japanese locale), as UTF-8.
std::string WindowTextUtf8(HWND window);
std::string ClassNameOf(HWND window);

// Top-level windows of a class whose text is `captionUtf8` (any text when empty).
std::vector<HWND> TopLevelWindows(const char* className, const std::string& captionUtf8);

// Class, text, id, styles, state, place and process of a window.
void WriteWindowSummary(Json& json, HWND window);
