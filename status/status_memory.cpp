#include "status/status_memory.h"

#include <mutex>

#include "status/status.h"

namespace {

// Leaked on purpose: callers on other threads may still report while the process exits.
std::mutex& RecordLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

RecordedStatus& Record() {
    static RecordedStatus* record = new RecordedStatus;
    return *record;
}

}  // namespace

void SetStatusText(const std::wstring& text) {
    std::lock_guard<std::mutex> guard(RecordLock());
    Record().status = text;
    Record().statusTexts.push_back(text);
}

void SetDetailText(const std::wstring& text) {
    std::lock_guard<std::mutex> guard(RecordLock());
    Record().detail = text;
    Record().detailTexts.push_back(text);
}

std::wstring DetailText() {
    std::lock_guard<std::mutex> guard(RecordLock());
    return Record().detail;
}

void SetProgress(int position) {
    std::lock_guard<std::mutex> guard(RecordLock());
    Record().progress = position;
    Record().progressPositions.push_back(position);
}

RecordedStatus ReadRecordedStatus() {
    std::lock_guard<std::mutex> guard(RecordLock());
    return Record();
}

void ResetRecordedStatus() {
    std::lock_guard<std::mutex> guard(RecordLock());
    Record() = RecordedStatus{};
}
