#pragma once
// What the bench programs share: the clock, the install stages by their status lines, and the
// statuses that end a run.

#include <array>
#include <iterator>
#include <string>

// Seconds on the performance counter, from an arbitrary origin. Never fails.
double Now();

struct Stage {
    const wchar_t* status;  // the status line that starts the stage
    const char* name;       // in the output: at_NAME
};

constexpr Stage Stages[] = {
    {L"正在下载配置文件...", "config"}, {L"正在解析配置...", "parse"},
    {L"正在创建安装目录...", "folder"}, {L"正在下载安装包...", "download"},
    {L"正在解压安装包...", "unpack"},   {L"正在创建快捷方式...", "shortcut"},
};

// Seconds at which each stage's status line was first seen; 0 while not seen.
using StageTimes = std::array<double, std::size(Stages)>;

// Notes seconds for the stage that status starts, unless that stage was seen before.
void NoteStage(StageTimes& times, const std::wstring& status, double seconds);
// Prints "at_NAME=S " for every stage, in order.
void PrintStageTimes(const StageTimes& times);
// Whether status ends a run: the installation completed, or an error.
bool IsFinalStatus(const std::wstring& status);
// Whether status is one of a completed installation.
bool IsCompletedStatus(const std::wstring& status);
