// The message catalogue: messages 500 to 512 in English, Japanese and Korean. The language comes
// from LC_ALL, LC_MESSAGES or LANG (ja..., ko..., anything else English).
#pragma once

#include <string>

namespace svregistration::resources {

inline constexpr int kMsgRefreshSource = 500;
inline constexpr int kMsgCannotCreateDirectory = 501;
inline constexpr int kMsgOriginalSourceNotFound = 502;
inline constexpr int kMsgUnexpectedError = 503;
inline constexpr int kMsgRefreshSources = 504;
inline constexpr int kMsgInvalidate = 505;
inline constexpr int kMsgRegistration = 506;
inline constexpr int kMsgIncorrectRegistrationPage = 507;
inline constexpr int kMsgWrongEncodingOption = 508;
inline constexpr int kMsgUnableToCopyFile = 509;
inline constexpr int kMsgUnregister = 510;
inline constexpr int kMsgObjectUnregistered = 511;
inline constexpr int kMsgOriginalSourceNotKnown = 512;

enum class Language { kEnglish, kJapanese, kKorean };

/// The language of the calling environment, read afresh on every call.
Language CurrentLanguage();

/// The message in the current language; "" for an id outside the catalogue.
std::string LoadMessage(int id);
std::string LoadMessage(int id, Language language);

}  // namespace svregistration::resources
