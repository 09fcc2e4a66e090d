#include "enex/EvernoteWebPreferencesExtensions.h"

#include "platform/foundation/UserDefaults.h"

namespace EvernoteWebPreferencesExtensions {

WebPreferences webPreferencesWithIdentifier(const QString& identifier) {
    WebPreferences preferences(identifier);
    const UserDefaults& defaults = UserDefaults::standard();
    // Applies `apply` to the stored value of the key, when there is one.
    auto withDefault = [&](const char* suffix, auto apply) {
        const PlistValue value = defaults.objectForKey(identifier + QLatin1String(suffix));
        if (!value.isNull()) apply(value);
    };
    withDefault("WebKitDefaultFixedFontSize", [&](const PlistValue& v) {
        preferences.setDefaultFixedFontSize(int(v.toInteger()));
    });
    withDefault("WebKitDefaultFontSize",
                [&](const PlistValue& v) { preferences.setDefaultFontSize(int(v.toInteger())); });
    withDefault("WebKitFixedFont",
                [&](const PlistValue& v) { preferences.setFixedFontFamily(v.toString()); });
    withDefault("WebKitJavaEnabled",
                [&](const PlistValue& v) { preferences.setJavaEnabled(v.toBool()); });
    withDefault("WebKitJavaScriptEnabled",
                [&](const PlistValue& v) { preferences.setJavaScriptEnabled(v.toBool()); });
    withDefault("WebKitPluginsEnabled",
                [&](const PlistValue& v) { preferences.setPlugInsEnabled(v.toBool()); });
    withDefault("WebKitStandardFont",
                [&](const PlistValue& v) { preferences.setStandardFontFamily(v.toString()); });
    return preferences;
}

}  // namespace EvernoteWebPreferencesExtensions
