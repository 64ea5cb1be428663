#pragma once
// Runs test code on a thread whose stack is as large as the installer's worker thread gets.

#include <cstddef>
#include <functional>

// The stack the installer's worker thread gets: the default reserve of the Windows program.
inline constexpr std::size_t WorkerStackSize = std::size_t{32} << 20;

// Runs work on a new thread with a stack of WorkerStackSize bytes (scaled up where a sanitizer
// inflates every frame) and waits for it. False when the thread could not be started.
bool RunOnWorkerStack(const std::function<void()>& work);
// The stack reserve the thread of RunOnWorkerStack actually gets; 0 when unknown.
std::size_t WorkerStackReserve();
