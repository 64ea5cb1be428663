#pragma once
// The status channel: every stage reports to the user through these three calls, and may read
// back the detail text to write below its first line.
// Each may be called from any thread and has taken effect when it returns; each does
// nothing while its control does not exist (before the dialog initialises, or in a
// program without a window).

#include <string>

// Shows text as the one-line status. Never fails.
void SetStatusText(const std::wstring& text);
// Shows text (line feeds break lines) as the detail text. Never fails.
void SetDetailText(const std::wstring& text);
// The detail text now shown; empty when there is none (or no control to show it).
std::wstring DetailText();
// Moves the progress bar to position (0..100). Never fails.
void SetProgress(int position);
