#pragma once
// Builds small ZIP archives for the extraction tests.

#include <string>
#include <vector>

struct ZipWriterEntry {
    std::string name;  // UTF-8, '/' between folders; ends with '/' for a folder entry
    std::string data;
    bool deflate = false;  // deflated, else stored
};

// The bytes of a ZIP archive holding entries in order (UTF-8 names flagged as such). Never fails.
std::string BuildZip(const std::vector<ZipWriterEntry>& entries);
