// The error kinds of every SDK operation, printed by name.
#pragma once

#include <string_view>

namespace velmar {

enum class SdkError {
    UnsupportedFeature,
    DeviceNotFound,
    DeviceNotOpen,
    InvalidParameter,
    Timeout,
    Busy,
    SdkInternalError,
    TransportError,
};

constexpr std::string_view error_name(SdkError kind) {
    switch (kind) {
    case SdkError::UnsupportedFeature: return "UnsupportedFeature";
    case SdkError::DeviceNotFound: return "DeviceNotFound";
    case SdkError::DeviceNotOpen: return "DeviceNotOpen";
    case SdkError::InvalidParameter: return "InvalidParameter";
    case SdkError::Timeout: return "Timeout";
    case SdkError::Busy: return "Busy";
    case SdkError::SdkInternalError: return "SdkInternalError";
    case SdkError::TransportError: return "TransportError";
    }
    return "SdkInternalError";
}

}  // namespace velmar
