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

// The handles go first: ours would keep the name. Another program that opened the file meanwhile
// without sharing deletion makes the deletion fail.
bool DeleteHeldPackage(const std::wstring& packagePath, HeldPackage& package) {
    package = HeldPackage{};
    return DeleteFileW(packagePath.c_str());
}

}  // namespace

bool AcceptDocumentSignature(const InstallConfig& config) {
    // A control character could move a line boundary of the signed message.
    if (SignedValueWithControlCharacter(config).empty() &&
        !SignaturesForKeys(config.sign, TrustedPackageKeys()).empty()) {
        return true;
    }
    SetStatusText(InvalidSignatureStatus);
    SetDetailText(L"配置文件缺少有效的发布者签名，请联系发布者");
    return false;
}

bool AcceptPackageSignature(const InstallConfig& config, const std::wstring& packagePath,
                            HeldPackage& package) {
    SetStatusText(L"正在验证安装包...");
    SetProgress(60);
    if (package.sha256 && PackageDigestVerifies(config, *package.sha256, TrustedPackageKeys()))
        return true;
    const bool deleted = DeleteHeldPackage(packagePath, package);
    SetStatusText(InvalidSignatureStatus);
    SetDetailText(deleted ? L"安装包未通过签名验证，已删除，请联系发布者"
                          : L"安装包未通过签名验证，请联系发布者");
    return false;
}
