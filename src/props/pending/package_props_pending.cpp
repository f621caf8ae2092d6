// Placeholder until the package back-end lands; excluded from the build as
// soon as package_props.cpp exists.
#include "props/package_props.h"

namespace qv {
Result<RowValues> ReadPackageRows(const std::string& path) {
    return Error(ErrorCode::Unsupported, "packages are not supported in this build: " + path);
}
Status WritePackageRows(const std::string& path, const RowTexts&, const RowMask&) {
    return Error(ErrorCode::Unsupported, "packages are not supported in this build: " + path);
}
}  // namespace qv
