// A keyed build: the document must name a trusted key before anything is downloaded, and the
// package must carry that key's signature before anything is unpacked.
#include <windows.h>

#include "install/package_signature_check.h"
#include "signature/package_signature.h"
#include "signature/trusted_keys.h"
#include "signature/verify.h"
#include "status/status.h"

namespace {

const wchar_t InvalidSignatureStatus[] = L"错误：安装包签名无效";

}  // namespace

bool AcceptDocumentSignature(const InstallConfig& config) {
    if (!SignaturesForKeys(config.sign, TrustedPackageKeys()).empty()) return true;
    SetStatusText(InvalidSignatureStatus);
    SetDetailText(L"配置文件缺少有效的发布者签名，请联系发布者");
    return false;
}

bool AcceptPackageSignature(const InstallConfig& config, const std::wstring& packagePath) {
    SetStatusText(L"正在验证安装包...");
    SetProgress(60);
    if (PackageSignatureVerifies(config, packagePath, TrustedPackageKeys())) return true;
    DeleteFileW(packagePath.c_str());
    SetStatusText(InvalidSignatureStatus);
    SetDetailText(L"安装包未通过签名验证，已删除，请联系发布者");
    return false;
}
