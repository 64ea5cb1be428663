#pragma once
// The document values that the tests' own signatures are made over (make-golden-signature and
// make-signatures sign exactly these), with the sign value under test.

#include <string>

#include "config/config.h"

inline InstallConfig SignedTestConfig(const std::wstring& sign) {
    InstallConfig config;
    config.package_name = L"示例包";
    config.version = L"1.0";
    config.application_name = L"sample app.exe";
    config.desktop_shortcut = L"示例 程序";
    config.url = L"https://cdn.example.com/not/signed.zip";
    config.sign = sign;
    return config;
}
