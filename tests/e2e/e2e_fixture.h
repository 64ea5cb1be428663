#pragma once
// Whole installs through the window against the local test server: publishing a package and
// running the test installer as a user would.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "handles/handles.h"
#include "tests/support/test_server.h"
#include "tools/driver/driver.h"

struct PublishedPackage {
    std::string package_name;
    std::string version = "1.0";
    std::string application_name = "sample_app.exe";
    std::string desktop_shortcut = "Sample";
    std::string sign = "";  // empty: a document without a signature
};

// Publishes the sample package as /packages/sample.zip and names it; false on failure.
bool PublishSample(const PublishedPackage& package);
// The sign entry of the signature tests' key ("trusted", "second", "stranger") over the sample
// package published as package "Signed", version 1.0 (tests/e2e/make-package-keys); empty when
// it cannot be read.
std::string SignatureEntry(const char* key);
// Clicks the action button of a started installer and waits (3 minutes at most) until the run
// ends; the states seen, in order (empty when the installer has no dialog).
std::vector<DialogState> RunToTheEnd(const RunningInstaller& installer);
// Starts the file holder at program (tests/e2e/file_holder.cpp), holding file when not empty
// with sharing ("" or "readwrite"); true once it holds.
bool StartFileHolder(const std::wstring& program, const std::wstring& file,
                     const std::wstring& sharing, ProcessHandles& holder);
// Ends a holder that StartFileHolder started; nothing when none runs.
void EndFileHolder(ProcessHandles& holder);
