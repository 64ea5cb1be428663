#pragma once
// The local test server as the Windows tests publish to it: its address and its document root
// (the environment the test runner sets: INSTALLER_TEST_HOST, INSTALLER_TEST_HTTPS_PORT,
// INSTALLER_TEST_SERVER_ROOT, INSTALLER_SAMPLE_PACKAGE).

#include <string>

// "https://host:port" + path, the server's address of a file below its root.
std::string TestServerUrl(const std::string& path);
// A configuration document in the compact form with these values. Never fails.
std::string ConfigDocument(const std::string& package_name, const std::string& application_name,
                           const std::string& desktop_shortcut, const std::string& version,
                           const std::string& url, const std::string& sign = "");
// Publishes document as the configuration installer-test.exe fetches; false on failure.
bool PublishConfig(const std::string& document);
// Copies the sample package to /packages/sample.zip below the root; false on failure.
bool PublishSamplePackage();
