// The frame's pieces, tested directly: argument check, last-error rules, contexts, trace, texts.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/TraceCapture.h"
#include "zentrel/frame/Frame.h"

using namespace zentrel;
using orivel::test::TraceCapture;

namespace {

// "文字列ポインタが妥当ではありません．" in code page 932, byte for byte.
const std::string kBadTextBytes =
    "\x95\xb6\x8e\x9a\x97\xf1\x83\x7c\x83\x43\x83\x93\x83\x5e\x82\xaa\x91\xc3\x93\x96\x82\xc5\x82\xcd\x82\xa0"
    "\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x44";

// Context of a real family, living in the library's registry for these tests.
struct CalcLikeContext : FamilyContext {
  static constexpr Family family = Family::Calc;
  int calls = 0;
};

TEST(FrameMessages, BadTextPointerIsCodePage932) { EXPECT_EQ(kBadTextBytes, std::string(kBadTextPointer)); }

struct NullCheckCase {
  const char* name;
  FrameRules rules;
  bool contextCreatedOnFailure;
};

class FrameNullCheck : public testing::TestWithParam<NullCheckCase> {
 protected:
  void SetUp() override { contexts().releaseAll(); }
  void TearDown() override { contexts().releaseAll(); }
};

TEST_P(FrameNullCheck, NullTextFailsWithMessageAndOperationIsNotRun) {
  const NullCheckCase& c = GetParam();
  lastError().set("earlier failure");
  bool ran = false;
  const char* text = "present";
  const int result = runExport<CalcLikeContext>(
      7, {text, nullptr},
      [&](CalcLikeContext&) {
        ran = true;
        return 1;
      },
      c.rules);
  EXPECT_EQ(7, result);
  EXPECT_FALSE(ran);
  EXPECT_EQ(kBadTextBytes, lastError().text());
  EXPECT_EQ(c.contextCreatedOnFailure, contexts().exists(Family::Calc));
}

TEST_P(FrameNullCheck, PassingCheckRunsOperationOnOneContext) {
  const NullCheckCase& c = GetParam();
  for (int i = 1; i <= 2; ++i) {
    const int result =
        runExport<CalcLikeContext>(0, {"a", "b"}, [](CalcLikeContext& context) { return ++context.calls; }, c.rules);
    EXPECT_EQ(i, result) << "state must survive between calls";
  }
  EXPECT_TRUE(contexts().exists(Family::Calc));
}

INSTANTIATE_TEST_SUITE_P(Rules, FrameNullCheck,
                         testing::Values(NullCheckCase{"Default", FrameRules{}, true},
                                         NullCheckCase{"CheckFirst", kCheckFirst, false},
                                         NullCheckCase{"KeepLastError", kKeepLastError, false}),
                         [](const testing::TestParamInfo<NullCheckCase>& info) { return info.param.name; });

TEST(FrameLastError, ClearRules) {
  struct Case {
    FrameRules rules;
    const char* expected;
  } cases[] = {{FrameRules{}, ""}, {kCheckFirst, ""}, {kKeepLastError, "earlier failure"}};
  for (const Case& c : cases) {
    lastError().set("earlier failure");
    runExport<NoContext>(0, {"text"}, [] { return 1; }, c.rules);
    EXPECT_STREQ(c.expected, lastError().text());
  }
}

TEST(FrameLastError, OperationMessageSurvives) {
  const char* result = runExport<NoContext>(kEmptyText, {}, [] {
    lastError().set(std::string("operation failed"));
    return kEmptyText;
  });
  EXPECT_STREQ("", result);
  EXPECT_STREQ("operation failed", lastError().text());
}

TEST(FrameFailureValues, TextAndMinusOne) {
  EXPECT_STREQ("", runExport<NoContext>(kEmptyText, {nullptr}, [] { return "never"; }));
  EXPECT_EQ(-1, runExport<NoContext>(-1, {nullptr}, [] { return 5; }));
}

TEST(FrameExceptions, NoExceptionLeavesTheFrame) {
  EXPECT_EQ(0, runExport<NoContext>(0, {}, []() -> int { throw std::bad_alloc(); }));
  EXPECT_STREQ(kOutOfMemory, lastError().text());
  EXPECT_EQ(-1, runExport<NoContext>(-1, {}, []() -> int { throw std::runtime_error("x"); }));
  EXPECT_STREQ(kInternalError, lastError().text());
  EXPECT_STREQ("", runExport<NoContext>(kEmptyText, {}, []() -> const char* { throw 42; }));
  EXPECT_STREQ(kInternalError, lastError().text());
}

// Contexts of several families that log their release into a shared list.
std::vector<std::string>* g_log = nullptr;

template <Family F>
struct LoggingContext : FamilyContext {
  static constexpr Family family = F;
  void release() noexcept override { g_log->push_back("release " + std::to_string(static_cast<int>(F))); }
  ~LoggingContext() override { g_log->push_back("destroy " + std::to_string(static_cast<int>(F))); }
};

TEST(ContextRegistry, CreatedOnFirstUseAndReleasedInFamilyOrder) {
  std::vector<std::string> log;
  g_log = &log;
  {
    ContextRegistry registry;
    EXPECT_EQ(nullptr, registry.find<LoggingContext<Family::Env>>());
    // Created out of order; released File, Compile, Env, Peg.
    auto& peg = registry.get<LoggingContext<Family::Peg>>();
    registry.get<LoggingContext<Family::Env>>();
    registry.get<LoggingContext<Family::File>>();
    registry.get<LoggingContext<Family::Compile>>();
    EXPECT_EQ(&peg, &registry.get<LoggingContext<Family::Peg>>());
    EXPECT_EQ(&peg, registry.find<LoggingContext<Family::Peg>>());
    EXPECT_FALSE(registry.exists(Family::ListBox));

    registry.releaseAll();
    const auto n = [](Family f) { return std::to_string(static_cast<int>(f)); };
    const std::vector<std::string> expected = {
        "release " + n(Family::File),    "destroy " + n(Family::File), "release " + n(Family::Compile),
        "destroy " + n(Family::Compile), "release " + n(Family::Env),  "destroy " + n(Family::Env),
        "release " + n(Family::Peg),     "destroy " + n(Family::Peg)};
    EXPECT_EQ(expected, log);
    EXPECT_FALSE(registry.exists(Family::Peg));

    log.clear();
    registry.releaseAll();
    EXPECT_TRUE(log.empty()) << "a second release finds nothing";

    // A family used again after release starts from a fresh context; the registry's end releases it.
    registry.get<LoggingContext<Family::Window>>();
  }
  ASSERT_EQ(2u, log.size());
  EXPECT_EQ("release " + std::to_string(static_cast<int>(Family::Window)), log[0]);
  g_log = nullptr;
}

TEST(ContextRegistry, FamilyOrderIsTheUnloadOrder) {
  const Family order[] = {Family::File,       Family::ListBox,    Family::FileOpen, Family::Edit,
                          Family::Compile,    Family::Analyze,    Family::TeXProject, Family::String,
                          Family::Input,      Family::CollectStr, Family::Ispell,   Family::Window,
                          Family::Menu,       Family::Ole,        Family::HashStrStr, Family::HashStrInt,
                          Family::TextWindow, Family::Process,    Family::Monitor,  Family::Env,
                          Family::Calc,       Family::Peg};
  ASSERT_EQ(static_cast<int>(Family::Count), static_cast<int>(sizeof order / sizeof order[0]));
  for (int i = 0; i < static_cast<int>(Family::Count); ++i) EXPECT_EQ(i, static_cast<int>(order[i]));
}

TEST(LastErrorWin32, SystemMessageOrEmpty) {
  const DWORD codes[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_PATH_NOT_FOUND};
  for (DWORD code : codes) {
    char expected[4096] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), expected, sizeof expected - 1, nullptr);
    ASSERT_GT(n, 0u);
    lastError().setWin32(code);
    EXPECT_EQ(std::string(expected, n), lastError().text()) << code;
  }
  lastError().set("stale");
  lastError().setWin32(0x2000ABCDu);  // a customer code: the system has no text for it
  EXPECT_STREQ("", lastError().text());
}

TEST(LastErrorSetters, NullTextEmpties) {
  lastError().set("x");
  lastError().set(static_cast<const char*>(nullptr));
  EXPECT_STREQ("", lastError().text());
}

TEST(Trace, LineThenSeparateLineEnd) {
  TraceCapture capture;
  trace("zentrel.dll:FILE_OPENFILE: fname = `%s', mode = `%s'", "a.tex", static_cast<const char*>(nullptr));
  ASSERT_EQ(2u, capture.pieces().size());
  EXPECT_EQ("zentrel.dll:FILE_OPENFILE: fname = `a.tex', mode = `(null)'", capture.pieces()[0]);
  EXPECT_EQ("\n", capture.pieces()[1]);
}

TEST(Trace, IntegersAndLongLines) {
  TraceCapture capture;
  const std::string longText(100000, 'x');
  trace("n = %d, s = `%s'", -42, longText.c_str());
  ASSERT_EQ(1u, capture.lines().size());
  EXPECT_EQ("n = -42, s = `" + longText + "'", capture.lines()[0]);
}

TEST(Trace, JapaneseBytesUnchanged) {
  TraceCapture capture;
  trace("%s", kBadTextPointer);
  ASSERT_EQ(1u, capture.lines().size());
  EXPECT_EQ(kBadTextBytes, capture.lines()[0]);
}

TEST(Trace, WideLine) {
  TraceCapture capture;
  traceW(L"zentrel.dll:PEG_PARSE: name = %s, str = %s", L"calc", L"1+2");
  ASSERT_EQ(1u, capture.lines().size());
  EXPECT_EQ("zentrel.dll:PEG_PARSE: name = calc, str = 1+2", capture.lines()[0]);
}

TEST(ResultTexts, SharedTextIsOverwrittenInPlace) {
  const char* first = sharedResult().set(std::string("ABC"));
  const char* second = sharedResult().set("xyz");
  EXPECT_STREQ("xyz", first) << "a macro that kept the first pointer sees the second result";
  EXPECT_STREQ("xyz", second);
  regexResult().set("regex");
  EXPECT_STREQ("xyz", sharedResult().c_str()) << "the regular-expression text is separate";
  EXPECT_STREQ(L"peg", pegResult().set(L"peg"));
  EXPECT_STREQ("", sharedResult().set(static_cast<const char*>(nullptr)));
}

}  // namespace
