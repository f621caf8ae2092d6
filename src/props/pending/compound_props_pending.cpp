// Placeholder until the compound-file back-end lands; excluded from the
// build as soon as compound_props.cpp exists.
#include "props/compound_props.h"

namespace qv {
Result<RowValues> ReadCompoundRows(const std::string& path) {
    return Error(ErrorCode::Unsupported, "compound files are not supported in this build: " + path);
}
Status WriteCompoundRows(const std::string& path, const RowTexts&, const RowMask&) {
    return Error(ErrorCode::Unsupported, "compound files are not supported in this build: " + path);
}
}  // namespace qv
