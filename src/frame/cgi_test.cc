#include <gtest/gtest.h>

#include "frame/cgi_request.h"
#include "frame/cgi_response.h"
#include "frame/web_module.h"
#include "support/test_site.h"

namespace frame {
namespace {

class CgiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < kVariableCount; ++i) {
      if (*RequestVariableName(i) != '\0') testkit::UnsetEnv(RequestVariableName(i));
    }
    for (const char* name : {"HOST", "CONTENT_LENGTH", "CONTENT_TYPE"}) testkit::UnsetEnv(name);
  }
};

TEST_F(CgiTest, HeaderBlockForAPage) {
  testkit::SetEnv("SERVER_PROTOCOL", "HTTP/1.1");
  TCGIRequest request;
  TCGIResponse response(request);
  response.SetContent("<HTML>\xC7</HTML>");
  EXPECT_EQ(response.HeaderBlock(),
            "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: 14\r\nContent:\r\n\r\n");
  EXPECT_EQ(response.version, "");
}

TEST_F(CgiTest, HeaderBlockEdgeCases) {
  testkit::SetEnv("SERVER_PROTOCOL", "HTTP/1.0");
  TCGIRequest request;
  TCGIResponse empty(request);
  EXPECT_EQ(empty.HeaderBlock(), "Status: 200 OK\r\nContent-Type: text/html\r\nContent:\r\n\r\n");

  TCGIResponse reason_missing(request);
  reason_missing.status_code = 404;
  EXPECT_EQ(reason_missing.HeaderBlock().substr(0, 16), "Status: 200 OK\r\n");

  TCGIResponse with_reason(request);
  with_reason.status_code = 404;
  with_reason.reason = "Not Found";
  with_reason.location = "/x";
  with_reason.cookies = {"a=1"};
  with_reason.last_modified = 34644.5;  // 1994-11-06 12:00
  EXPECT_EQ(with_reason.HeaderBlock(),
            "Status: 404 Not Found\r\nLocation: /x\r\nSet-Cookie: a=1\r\n"
            "Last-Modified: Sun, 06 Nov 1994 12:00:00 GMT\r\n"
            "Content-Type: text/html\r\nContent:\r\n\r\n");

  testkit::UnsetEnv("SERVER_PROTOCOL");
  TCGIRequest no_protocol;
  TCGIResponse bare(no_protocol);
  bare.SetContent("page");
  EXPECT_EQ(bare.HeaderBlock(), "");
  EXPECT_EQ(bare.version, "1.0");
}

TEST_F(CgiTest, HttpPrefixFallsBack) {
  testkit::SetEnv("HOST", "example.org");
  testkit::SetEnv("CONTENT_TYPE", "text/plain");
  TCGIRequest request;
  EXPECT_EQ(request.GetStringVariable(kHost), "example.org");
  EXPECT_EQ(request.GetStringVariable(15), "text/plain");
  testkit::SetEnv("HTTP_HOST", "direct.org");
  EXPECT_EQ(request.GetStringVariable(kHost), "direct.org");
  testkit::SetEnv("REMOTE_HOST", "");
  EXPECT_EQ(request.GetStringVariable(22), "");
}

TEST_F(CgiTest, LongValuesAreReadWhole) {
#ifdef _WIN32
  std::string big(32000, 'h');  // the largest value Windows keeps
#else
  std::string big(1 << 20, 'h');
#endif
  testkit::SetEnv("HTTP_HOST", big);
  TCGIRequest request;
  EXPECT_EQ(request.GetStringVariable(kHost), big);
}

TEST_F(CgiTest, IntegerAndDateLookups) {
  TCGIRequest request;
  struct Case {
    const char* text;
    std::int32_t value;
  };
  for (const Case& c :
       {Case{"", -1}, Case{"12", 12}, Case{"abc", -1}, Case{"12x", -1}, Case{"-7", -7},
        Case{"2147483647", 2147483647}, Case{"2147483648", -1}, Case{"1000000000000", -1}}) {
    testkit::SetEnv("CONTENT_LENGTH", c.text);
    EXPECT_EQ(request.GetIntegerVariable(kContentLength), c.value) << c.text;
  }
  EXPECT_EQ(request.GetDateVariable(7), -1.0);
  testkit::SetEnv("HTTP_DATE", "Sun, 06 Nov 1994 08:49:37 GMT");
  double rfc1123 = request.GetDateVariable(7);
  EXPECT_NEAR(rfc1123, 34644 + (8 * 3600 + 49 * 60 + 37) / 86400.0, 1e-9);
  testkit::SetEnv("HTTP_DATE", "Sunday, 06-Nov-94 08:49:37 GMT");
  EXPECT_NEAR(request.GetDateVariable(7), rfc1123, 1e-9);
  testkit::SetEnv("HTTP_DATE", "Sun Nov  6 08:49:37 1994");
  EXPECT_NEAR(request.GetDateVariable(7), rfc1123, 1e-9);
  testkit::SetEnv("HTTP_DATE", "yesterday");
  EXPECT_EQ(request.GetDateVariable(7), -1.0);
  EXPECT_EQ(FormatHttpDate(rfc1123), "Sun, 06 Nov 1994 08:49:37 GMT");
}

TEST(ErrorResponse, BodyAndSanitisedStatusLine) {
  std::string r = ErrorResponse("InOutError", "disk\r\nfull");
  std::string body =
      "<html><title>Internal Server Error 500</title>\r\n<h1>Internal Server Error 500</h1><hr>\r\n"
      "Exception: InOutError<br>\r\nMessage: disk\r\nfull<br></html>\r\n";
  EXPECT_EQ(r, "Status: 500 disk  full\r\nContent-Type: text/html\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\nContent:\r\n\r\n" + body);
}

void Recorder(TWebModule&, TCGIRequest&, TCGIResponse& response, bool& handled) {
  response.SetContent("ran");
  handled = true;
}

void Declines(TWebModule&, TCGIRequest&, TCGIResponse&, bool& handled) { handled = false; }

TEST_F(CgiTest, DispatchTakesOnlyAnEmptyPathInfo) {
  TWebModule module;
  module.actions.push_back(TWebActionItem{"A", "", "", true, false, &Recorder});
  TCGIRequest request;
  TCGIResponse response(request);
  EXPECT_TRUE(module.DispatchRequest(request, response));
  EXPECT_EQ(response.Content(), "ran");
  testkit::SetEnv("PATH_INFO", "/extra");
  TCGIResponse other(request);
  EXPECT_FALSE(module.DispatchRequest(request, other));
  EXPECT_EQ(other.Content(), "");

  EXPECT_TRUE(ActionPathMatches("/X*", "/xtra"));
  EXPECT_FALSE(ActionPathMatches("", "/x"));
  TWebModule declining;
  declining.actions.push_back(TWebActionItem{"B", "", "", true, false, &Declines});
  testkit::UnsetEnv("PATH_INFO");
  EXPECT_FALSE(declining.DispatchRequest(request, response));
}

}  // namespace
}  // namespace frame
