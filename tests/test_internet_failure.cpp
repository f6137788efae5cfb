// Texts and causes of the Internet failure and the file failure, over doubles of the Internet
// library's message table and of the string table.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <optional>
#include <string>

#include "ProgramTexts.h"
#include "net/InternetFailure.h"
#include "platform/Internet.h"
#include "platform/Resources.h"
#include "platform/Seam.h"

namespace orvane {
namespace {

class MessageTableInternet : public IInternet {
public:
    HINTERNET InternetOpen(const std::string&, DWORD, const std::string*, const std::string*, DWORD,
                           DWORD* error) override {
        *error = ERROR_INTERNET_INTERNAL_ERROR;
        return nullptr;
    }
    HINTERNET InternetOpenUrl(HINTERNET, const std::string&, const std::string*, DWORD, DWORD, DWORD* error) override {
        *error = ERROR_INTERNET_INTERNAL_ERROR;
        return nullptr;
    }
    std::optional<DWORD> QueryHandleType(HINTERNET) override { return std::nullopt; }
    bool InternetReadFile(HINTERNET, void*, DWORD, DWORD* read, DWORD* error) override {
        *read = 0;
        *error = ERROR_INTERNET_INTERNAL_ERROR;
        return false;
    }
    bool InternetCloseHandle(HINTERNET) override { return false; }
    std::optional<std::string> CanonicalizeUrl(const std::string&, DWORD, DWORD*) override { return std::nullopt; }
    std::optional<CrackedUrl> CrackUrl(const std::string&, DWORD*) override { return std::nullopt; }

    std::optional<std::string> ErrorText(DWORD code) override {
        const auto found = texts.find(code);
        if (found == texts.end()) return std::nullopt;
        return found->second;
    }
    std::string LastResponseInfo() override { return lastResponse; }

    std::map<DWORD, std::string> texts = {
        {ERROR_INTERNET_TIMEOUT, "The operation timed out\r\n"},
        {ERROR_INTERNET_EXTENDED_ERROR, "An extended error was returned from the server.\r\n"},
        {ERROR_INTERNET_NAME_NOT_RESOLVED, "The server name or address could not be resolved\r\n"},
        {5, "Access is denied.\r\n"},
    };
    std::string lastResponse;
};

class StringTable : public IResources {
public:
    std::optional<std::string> LoadString(UINT id) override {
        const auto found = strings.find(id);
        if (found == strings.end()) return std::nullopt;
        return found->second;
    }

    std::map<UINT, std::string> strings = [] {
        std::map<UINT, std::string> texts;
        for (const test::ProgramText& text : test::kFailureTexts) texts.emplace(text.id, text.text);
        return texts;
    }();
};

class FailureTextTest : public ::testing::Test {
protected:
    MessageTableInternet internet;
    StringTable strings;
    ScopedSeam<IInternet> internetSeam{internet};
    ScopedSeam<IResources> stringsSeam{strings};
};

struct Described {
    bool result;
    std::string text;
    UINT helpContext;
};

Described Describe(const CFailure& failure, UINT maxChars = 512) {
    Described out{false, "left over from before", 0xDEAD};
    out.result = failure.GetErrorText(out.text, maxChars, &out.helpContext);
    return out;
}

// --- Internet failure --------------------------------------------------------------------------

TEST_F(FailureTextTest, InternetFailureGivesTheLibraryTextUnchangedWithoutHelp) {
    const DWORD codes[] = {ERROR_INTERNET_TIMEOUT, ERROR_INTERNET_NAME_NOT_RESOLVED, 5};
    for (const DWORD code : codes) {
        const Described got = Describe(CInternetFailure(code, 1));
        EXPECT_TRUE(got.result) << "code " << code;
        EXPECT_EQ(got.text, internet.texts[code]) << "code " << code;
        EXPECT_EQ(got.helpContext, 0u) << "code " << code;
    }
}

TEST_F(FailureTextTest, InternetFailureWithAnUnknownCodeHasNoText) {
    const Described got = Describe(CInternetFailure(12345, 1));
    EXPECT_FALSE(got.result);
    EXPECT_EQ(got.text, "");
    EXPECT_EQ(got.helpContext, 0u);
}

TEST_F(FailureTextTest, ExtendedErrorShowsTheServersResponse) {
    internet.lastResponse = "550 daytime.txt: No such file or directory.\r\n";
    const Described got = Describe(CInternetFailure(ERROR_INTERNET_EXTENDED_ERROR, 1));
    EXPECT_TRUE(got.result);
    EXPECT_EQ(got.text, internet.lastResponse);
}

TEST_F(FailureTextTest, ExtendedErrorWithoutAResponseKeepsTheCodesOwnText) {
    internet.lastResponse.clear();
    const Described got = Describe(CInternetFailure(ERROR_INTERNET_EXTENDED_ERROR, 1));
    EXPECT_TRUE(got.result);
    EXPECT_EQ(got.text, internet.texts[ERROR_INTERNET_EXTENDED_ERROR]);
}

TEST_F(FailureTextTest, ExtendedErrorUnknownToTheLibraryHasNoTextEvenWithAResponse) {
    internet.texts.erase(ERROR_INTERNET_EXTENDED_ERROR);
    internet.lastResponse = "421 Service not available\r\n";
    const Described got = Describe(CInternetFailure(ERROR_INTERNET_EXTENDED_ERROR, 1));
    EXPECT_FALSE(got.result);
    EXPECT_EQ(got.text, "");
}

TEST_F(FailureTextTest, InternetFailureTextIsCutToOneLessThanMaxChars) {
    internet.lastResponse = "0123456789";
    const struct {
        DWORD code;
        UINT maxChars;
        std::string expected;
    } cases[] = {
        {ERROR_INTERNET_TIMEOUT, 4, "The"},
        {ERROR_INTERNET_TIMEOUT, 1, ""},
        {ERROR_INTERNET_TIMEOUT, 0, ""},
        {ERROR_INTERNET_TIMEOUT, 26, "The operation timed out\r\n"},
        {ERROR_INTERNET_EXTENDED_ERROR, 6, "01234"},
    };
    for (const auto& c : cases) {
        const Described got = Describe(CInternetFailure(c.code, 1), c.maxChars);
        EXPECT_TRUE(got.result) << "code " << c.code << " maxChars " << c.maxChars;
        EXPECT_EQ(got.text, c.expected) << "code " << c.code << " maxChars " << c.maxChars;
    }
}

TEST_F(FailureTextTest, InternetFailureKeepsItsCodeAndContext) {
    const CInternetFailure failure(ERROR_INTERNET_CANNOT_CONNECT, 42);
    EXPECT_EQ(failure.GetErrorCode(), ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_EQ(failure.GetContext(), 42u);
}

// --- File failure ------------------------------------------------------------------------------

TEST_F(FailureTextTest, FileFailureTextOfEveryCauseNamesTheFile) {
    const std::string path = "/var/lib/orvane/daytime.txt";
    const char* const expected[] = {
        "No error occurred.",
        "An unknown error occurred while accessing /var/lib/orvane/daytime.txt.",
        "/var/lib/orvane/daytime.txt was not found.",
        "/var/lib/orvane/daytime.txt contains an invalid path.",
        "/var/lib/orvane/daytime.txt could not be opened because there are too many open files.",
        "Access to /var/lib/orvane/daytime.txt was denied.",
        "An invalid file handle was associated with /var/lib/orvane/daytime.txt.",
        "/var/lib/orvane/daytime.txt could not be removed because it is the current directory.",
        "/var/lib/orvane/daytime.txt could not be created because the directory is full.",
        "Seek failed on /var/lib/orvane/daytime.txt",
        "A hardware I/O error was reported while accessing /var/lib/orvane/daytime.txt.",
        "A sharing violation occurred while accessing /var/lib/orvane/daytime.txt.",
        "A locking violation occurred while accessing /var/lib/orvane/daytime.txt.",
        "Disk full while accessing /var/lib/orvane/daytime.txt.",
        "An attempt was made to access /var/lib/orvane/daytime.txt past its end.",
    };
    for (int cause = 0; cause <= CFileFailure::endOfFile; ++cause) {
        const Described got = Describe(CFileFailure(cause, 0, path));
        EXPECT_TRUE(got.result) << "cause " << cause;
        EXPECT_EQ(got.text, expected[cause]) << "cause " << cause;
        EXPECT_EQ(got.helpContext, 0xF1A0u + static_cast<UINT>(cause)) << "cause " << cause;
    }
}

TEST_F(FailureTextTest, FileFailureWithoutAPathNamesAnUnnamedFile) {
    const Described got = Describe(CFileFailure(CFileFailure::fileNotFound, 2, ""));
    EXPECT_TRUE(got.result);
    EXPECT_EQ(got.text, "an unnamed file was not found.");
}

TEST_F(FailureTextTest, FileFailurePathIsInsertedAsItIs) {
    // A path that itself holds "%1" must not be expanded again.
    const Described got = Describe(CFileFailure(CFileFailure::accessDenied, 5, "/tmp/100%1.txt"));
    EXPECT_EQ(got.text, "Access to /tmp/100%1.txt was denied.");
}

TEST_F(FailureTextTest, FileFailureTextIsCutToOneLessThanMaxChars) {
    const Described got = Describe(CFileFailure(CFileFailure::fileNotFound, 2, "/tmp/x"), 8);
    EXPECT_TRUE(got.result);
    EXPECT_EQ(got.text, "/tmp/x ");
}

TEST_F(FailureTextTest, FileFailureCauseOutsideTheTableIsAnUnknownError) {
    for (const int cause : {-1, 15, 1000}) {
        const CFileFailure failure(cause, 0, "/tmp/x");
        EXPECT_EQ(failure.GetCause(), CFileFailure::genericException) << "cause " << cause;
        EXPECT_EQ(Describe(failure).text, "An unknown error occurred while accessing /tmp/x.") << "cause " << cause;
    }
}

TEST(FileFailureCause, SystemErrorCodesGiveTheirCauses) {
    const struct {
        LONG osError;
        int cause;
    } cases[] = {
        {0, CFileFailure::none},
        {2, CFileFailure::fileNotFound},         // ERROR_FILE_NOT_FOUND
        {3, CFileFailure::badPath},              // ERROR_PATH_NOT_FOUND
        {4, CFileFailure::tooManyOpenFiles},     // ERROR_TOO_MANY_OPEN_FILES
        {5, CFileFailure::accessDenied},         // ERROR_ACCESS_DENIED
        {6, CFileFailure::fileNotFound},         // ERROR_INVALID_HANDLE
        {32, CFileFailure::sharingViolation},    // ERROR_SHARING_VIOLATION
        {33, CFileFailure::lockViolation},       // ERROR_LOCK_VIOLATION
        {38, CFileFailure::endOfFile},           // ERROR_HANDLE_EOF
        {39, CFileFailure::diskFull},            // ERROR_HANDLE_DISK_FULL
        {112, CFileFailure::diskFull},           // ERROR_DISK_FULL
        {1, CFileFailure::genericException},     // ERROR_INVALID_FUNCTION: no entry
        {31, CFileFailure::genericException},    // ERROR_GEN_FAILURE: no entry
        {87, CFileFailure::genericException},    // ERROR_INVALID_PARAMETER: no entry
        {-1, CFileFailure::genericException},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CFileFailure::CauseFromOsError(c.osError), c.cause) << "system error " << c.osError;
    }
}

TEST(FileFailureCause, FailedOpensOnThisSystemGiveTheWindowsCause) {
    const struct {
        int errnoValue;
        LONG osError;
        int cause;
    } cases[] = {
        {ENOENT, 2, CFileFailure::fileNotFound},
        {ENOTDIR, 3, CFileFailure::badPath},
        {ENAMETOOLONG, 3, CFileFailure::badPath},
        {EMFILE, 4, CFileFailure::tooManyOpenFiles},
        {ENFILE, 4, CFileFailure::tooManyOpenFiles},
        {EACCES, 5, CFileFailure::accessDenied},
        {EPERM, 5, CFileFailure::accessDenied},
        {EROFS, 5, CFileFailure::accessDenied},
        {EISDIR, 5, CFileFailure::accessDenied},
        {EBADF, 6, CFileFailure::fileNotFound},
        {EBUSY, 32, CFileFailure::sharingViolation},
        {ETXTBSY, 32, CFileFailure::sharingViolation},
        {ENOSPC, 112, CFileFailure::diskFull},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CFileFailure::OsErrorFromErrno(c.errnoValue), c.osError) << "errno " << c.errnoValue;
        const CFileFailure failure = CFileFailure::FromErrno(c.errnoValue, "/tmp/x");
        EXPECT_EQ(failure.GetCause(), c.cause) << "errno " << c.errnoValue;
        EXPECT_EQ(failure.GetOsError(), c.osError) << "errno " << c.errnoValue;
        EXPECT_EQ(failure.GetFileName(), "/tmp/x");
    }
}

TEST(FileFailureCause, AnErrnoWithoutCounterpartIsAnUnknownError) {
    EXPECT_EQ(CFileFailure::FromErrno(EINVAL, "/tmp/x").GetCause(), CFileFailure::genericException);
    EXPECT_EQ(CFileFailure::FromErrno(EPROTO, "/tmp/x").GetCause(), CFileFailure::genericException);
}

}  // namespace
}  // namespace orvane
