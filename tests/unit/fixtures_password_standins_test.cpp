// The stand-ins for the Windows 95/98 password provider and password change,
// loaded straight from where they were built and driven like a user would.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/fake_install.h"
#include "tests/support/password_standins.h"

namespace {

using Verifier = BOOL(WINAPI*)(HWND);
using Changer = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, DWORD);

template <typename Fn>
Fn EntryOf(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class PasswordStandIns : public ::testing::Test {
protected:
    void SetUp() override
    {
        provider_ = LoadLibraryA((FixtureFolder("password_cpl") + "\\PASSWORD.CPL").c_str());
        // Wine puts its own MPR.DLL in place of any file of that name unless
        // told otherwise, so the stand-in is loaded from a copy named apart.
        const std::string router = folder_.Path() + "\\standin_mpr.dll";
        CopyFileA((FixtureFolder("mpr") + "\\MPR.DLL").c_str(), router.c_str(), FALSE);
        router_ = LoadLibraryA(router.c_str());
        ASSERT_NE(nullptr, provider_);
        ASSERT_NE(nullptr, router_);
        verify_ = EntryOf<Verifier>(provider_, "VerifyScreenSavePwd");
        change_ = EntryOf<Changer>(router_, "PwdChangePasswordA");
        ASSERT_NE(nullptr, verify_);
        ASSERT_NE(nullptr, change_);
        owner_ = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(owner_);
        if (provider_)
            FreeLibrary(provider_);
        if (router_)
            FreeLibrary(router_);
    }

    BOOL Verify(const DialogAnswer& answer)
    {
        DialogAnswerer user(STANDIN_PROMPT_CAPTION, {answer});
        const BOOL verdict = verify_(owner_);
        user.Join();
        EXPECT_EQ(1, user.Answered());
        EXPECT_EQ(owner_, user.Owner());
        return verdict;
    }

    StandInStore store_;
    TempFolder folder_;
    HMODULE provider_ = nullptr;
    HMODULE router_ = nullptr;
    Verifier verify_ = nullptr;
    Changer change_ = nullptr;
    HWND owner_ = nullptr;
};

TEST_F(PasswordStandIns, PromptAcceptsOnlyTheStoredPassword)
{
    store_.SetPassword("open sesame");
    struct Case { const char* typed; int button; bool accepted; } cases[] = {
        {"open sesame", IDOK, true},
        {"open sesam", IDOK, false},
        {"", IDOK, false},
        {"open sesame", IDCANCEL, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + (c.button == IDOK ? " + OK" : " + Cancel"));
        EXPECT_EQ(c.accepted, Verify({{{IDC_STANDIN_PASSWORD, c.typed}}, c.button}) != FALSE);
        EXPECT_EQ(reinterpret_cast<ULONG_PTR>(owner_), store_.Number(STANDIN_VERIFY_OWNER_VALUE));
    }
}

TEST_F(PasswordStandIns, ChangeAsksTwiceThenThePromptWantsTheNewPassword)
{
    store_.SetPassword("old");
    DialogAnswerer user(STANDIN_CHANGE_CAPTION,
                        {{{{IDC_STANDIN_NEW_PASSWORD, "new one"}, {IDC_STANDIN_REPEAT_PASSWORD, "new on"}}, IDOK},
                         {{{IDC_STANDIN_REPEAT_PASSWORD, "new one"}}, IDOK}},
                        IDC_STANDIN_CHANGE_STATUS);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), change_("SCRSAVE", owner_, 0, 0));
    user.Join();
    ASSERT_EQ(2, user.Answered());
    EXPECT_EQ(owner_, user.Owner());
    EXPECT_NE("", user.Seen()[0]) << "a mismatch is reported and the dialog stays";
    EXPECT_EQ("new one", store_.Text(STANDIN_PASSWORD_VALUE));
    EXPECT_EQ("SCRSAVE", store_.Text(STANDIN_CHANGE_PROVIDER_VALUE));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(owner_), store_.Number(STANDIN_CHANGE_OWNER_VALUE));

    EXPECT_FALSE(Verify({{{IDC_STANDIN_PASSWORD, "old"}}, IDOK}));
    EXPECT_TRUE(Verify({{{IDC_STANDIN_PASSWORD, "new one"}}, IDOK}));
}

TEST_F(PasswordStandIns, ChangeWritesDownAllFourArguments)
{
    // A provider it does not know is refused before any dialog shows.
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), change_("OTHER", owner_, 5, 0xFFFFFFFF));
    EXPECT_EQ("OTHER", store_.Text(STANDIN_CHANGE_PROVIDER_VALUE));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(owner_), store_.Number(STANDIN_CHANGE_OWNER_VALUE));
    EXPECT_EQ(5u, store_.Number(STANDIN_CHANGE_FLAGS_VALUE));
    EXPECT_EQ(0xFFFFFFFFu, store_.Number(STANDIN_CHANGE_INFO_VALUE));
}

}  // namespace
