#include "base/result.h"

namespace qv {

const char* errorCodeName(ErrorCode code) {
    switch (code) {
    case ErrorCode::NotFound: return "notFound";
    case ErrorCode::IsDirectory: return "isDirectory";
    case ErrorCode::AccessDenied: return "accessDenied";
    case ErrorCode::InUse: return "inUse";
    case ErrorCode::ReadOnly: return "readOnly";
    case ErrorCode::DiskFull: return "diskFull";
    case ErrorCode::IoError: return "ioError";
    case ErrorCode::NotAZip: return "notAZip";
    case ErrorCode::BadZip: return "badZip";
    case ErrorCode::UnsupportedMethod: return "unsupportedMethod";
    case ErrorCode::CrcMismatch: return "crcMismatch";
    case ErrorCode::SizeMismatch: return "sizeMismatch";
    case ErrorCode::TooLarge: return "tooLarge";
    case ErrorCode::NotCompoundFile: return "notCompoundFile";
    case ErrorCode::BadCompoundFile: return "badCompoundFile";
    case ErrorCode::BadPropertySet: return "badPropertySet";
    case ErrorCode::BadXml: return "badXml";
    case ErrorCode::PackageLayout: return "packageLayout";
    case ErrorCode::ConversionFailed: return "conversionFailed";
    case ErrorCode::InvalidArgument: return "invalidArgument";
    case ErrorCode::Unsupported: return "unsupported";
    case ErrorCode::Cancelled: return "cancelled";
    case ErrorCode::ChangedMeanwhile: return "changedMeanwhile";
    case ErrorCode::NotAPlainFile: return "notAPlainFile";
    case ErrorCode::NotAnOfficeDocument: return "notAnOfficeDocument";
    case ErrorCode::PasswordProtected: return "passwordProtected";
    case ErrorCode::Signed: return "signed";
    case ErrorCode::ChangedSincePreview: return "changedSincePreview";
    case ErrorCode::AlreadyExists: return "alreadyExists";
    case ErrorCode::Internal: return "internal";
    }
    return "internal";
}

}  // namespace qv
