#include "game/launch_context.h"

#include "common/entry_lookup.h"
#include "common/handles.h"

namespace {
// Looked up at run time: a static import that Windows 95/98 or NT 4.0 lack
// would keep the loader from starting the saver at all.
using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE*);
using GetTokenInformationFn = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, void*, DWORD, DWORD*);

constexpr BYTE kNtAuthority[6] = {0, 0, 0, 0, 0, 5};
constexpr DWORD kLocalSystemRid = 18;
constexpr DWORD kNetworkServiceRid = 20;

// TOKEN_USER followed by room for its SID, which the call stores behind it.
union TokenUserBuffer {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};
}  // namespace

bool IsServiceAccountSid(const SID* user)
{
    if (!user || user->Revision != SID_REVISION || user->SubAuthorityCount != 1)
        return false;
    for (int i = 0; i < 6; ++i) {
        if (user->IdentifierAuthority.Value[i] != kNtAuthority[i])
            return false;
    }
    const DWORD rid = user->SubAuthority[0];
    return rid >= kLocalSystemRid && rid <= kNetworkServiceRid;
}

bool RunsAsServiceAccount()
{
    HMODULE advapi = GetModuleHandleA("ADVAPI32.DLL");
    auto openToken = LookUpEntry<OpenProcessTokenFn>(advapi, "OpenProcessToken");
    auto getInformation = LookUpEntry<GetTokenInformationFn>(advapi, "GetTokenInformation");
    if (!openToken || !getInformation)
        return false;
    HANDLE opened = nullptr;
    if (!openToken(GetCurrentProcess(), TOKEN_QUERY, &opened))
        return false;
    KernelHandle token(opened);
    TokenUserBuffer buffer;
    DWORD length = 0;
    if (!getInformation(token.Get(), TokenUser, &buffer, sizeof buffer, &length))
        return false;
    return IsServiceAccountSid(static_cast<const SID*>(buffer.user.User.Sid));
}
