// Web preferences with the user's overrides: the preferences named by an
// identifier, changed by whichever of these standard user defaults are stored
// (identifier in place of "%@"): "%@WebKitDefaultFixedFontSize" and
// "%@WebKitDefaultFontSize" (integers), "%@WebKitFixedFont" and
// "%@WebKitStandardFont" (font family names), "%@WebKitJavaEnabled",
// "%@WebKitJavaScriptEnabled" and "%@WebKitPluginsEnabled" (booleans). An
// absent key leaves the preference as it was. Any thread.
#pragma once

#include <QString>

#include "platform/web/WebPreferences.h"

namespace EvernoteWebPreferencesExtensions {

WebPreferences webPreferencesWithIdentifier(const QString& identifier);

}  // namespace EvernoteWebPreferencesExtensions
