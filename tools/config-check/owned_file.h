#pragma once

#include <cstdio>
#include <memory>

// Closed through a function of our own: glibc 2.41 declares fclose with attributes that a
// template argument of its type would drop, which g++ 14 reports.
inline void CloseFile(std::FILE* file) { std::fclose(file); }

// A C stream that closes itself; empty when the open failed.
using OwnedFile = std::unique_ptr<std::FILE, decltype(&CloseFile)>;
