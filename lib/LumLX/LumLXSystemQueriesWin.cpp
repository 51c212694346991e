// The general utilities' system queries: the operating system's version, the user's rights,
// keys and locales.
#include "lib/LumLX/LumLXUtils.h"

#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/win/LumSystemWin.h"

#include <vector>

// ---- Operating system descriptions ----

std::u16string GetOSVersionString() {
    const TOSVersion& version = OSVersion();
    return OSVersionText(version.PlatformId, version.Major, version.Minor, version.Build,
                         version.ServicePack);
}

// ---- System queries ----

bool UserIsAdministrator() {
    // Outside the NT family there are no access tokens: everybody may do everything.
    if (!OSVersion().IsNT()) {
        return true;
    }
    HANDLE opened = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &opened) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) {
        return false;
    }
    TScopedKernelHandle token(opened);
    // 1,024 bytes hold the groups of most tokens; a user in many groups gets the size the
    // system asks for, so that membership is not denied for want of room.
    std::vector<DWORD> buffer(1024 / sizeof(DWORD));
    DWORD needed = 0;
    if (!GetTokenInformation(token.Get(), TokenGroups, buffer.data(),
                             static_cast<DWORD>(buffer.size() * sizeof(DWORD)), &needed)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return false;
        }
        buffer.resize((needed + sizeof(DWORD) - 1) / sizeof(DWORD));
        if (!GetTokenInformation(token.Get(), TokenGroups, buffer.data(),
                                 static_cast<DWORD>(buffer.size() * sizeof(DWORD)), &needed)) {
            return false;
        }
    }
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    alignas(DWORD) BYTE administrators[SECURITY_MAX_SID_SIZE];
    Win32Check(InitializeSid(administrators, &ntAuthority, 2));
    *GetSidSubAuthority(administrators, 0) = SECURITY_BUILTIN_DOMAIN_RID;
    *GetSidSubAuthority(administrators, 1) = DOMAIN_ALIAS_RID_ADMINS;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    const SID_AND_ATTRIBUTES* group = groups->Groups;
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (EqualSid(group[i].Sid, administrators)) {
            return true;
        }
    }
    return false;
}

bool KeyIsDown(int virtualKey) {
    // Bit 0 only records a press since the previous query; the high bit is the key held now.
    return static_cast<std::uint16_t>(GetAsyncKeyState(virtualKey)) >= 2;
}

std::u16string LocaleText(std::uint32_t locale, std::uint32_t item) {
    int length = GetLocaleInfoW(locale, item, nullptr, 0);
    if (length <= 0) {
        return u"???";
    }
    std::u16string text(static_cast<std::size_t>(length), u'\0');
    length = GetLocaleInfoW(locale, item, reinterpret_cast<wchar_t*>(text.data()), length);
    if (length <= 0) {
        return u"???";
    }
    return text.substr(0, text.find(u'\0'));
}

std::u16string LocaleDisplayName(std::uint32_t locale) {
    return LocaleText(locale, LOCALE_SENGLANGUAGE) + u" (" +
           LocaleText(locale, LOCALE_SENGCOUNTRY) + u")";
}
