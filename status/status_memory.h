#pragma once
// Reading side of the windowless status channel (status_memory.cpp), linked into the
// native build, the deployer's tool and tests instead of the window implementation.

#include <string>
#include <vector>

struct RecordedStatus {
    std::wstring status;                    // last status text, empty when none was set
    std::wstring detail;                    // last detail text, empty when none was set
    int progress = 0;                       // last position, 0 when none was set
    std::vector<std::wstring> statusTexts;  // every status text, in order
    std::vector<std::wstring> detailTexts;  // every detail text, in order
    std::vector<int> progressPositions;     // every position, in order
};

// A copy of what the channel has been given since the start or the last reset.
RecordedStatus ReadRecordedStatus();
// Forgets everything recorded.
void ResetRecordedStatus();
