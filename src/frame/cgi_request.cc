#include "frame/cgi_request.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/dates.h"
#include "common/text.h"
#include "platform/console.h"
#include "platform/environment.h"
#include "platform/names.h"

namespace frame {
namespace {

const char* const kNames[kVariableCount] = {
    "REQUEST_METHOD",
    "SERVER_PROTOCOL",
    "URL",
    "QUERY_STRING",
    "PATH_INFO",
    "PATH_TRANSLATED",
    "HTTP_CACHE_CONTROL",
    "HTTP_DATE",
    "HTTP_ACCEPT",
    "HTTP_FROM",
    "HTTP_HOST",
    "HTTP_IF_MODIFIED_SINCE",
    "HTTP_REFERER",
    "HTTP_USER_AGENT",
    "HTTP_CONTENT_ENCODING",
    "HTTP_CONTENT_TYPE",
    "HTTP_CONTENT_LENGTH",
    "HTTP_CONTENT_VERSION",
    "HTTP_DERIVED_FROM",
    "HTTP_EXPIRES",
    "HTTP_TITLE",
    "REMOTE_ADDR",
    "REMOTE_HOST",
    "SCRIPT_NAME",
    "SERVER_PORT",
    "",
    "HTTP_CONNECTION",
    "HTTP_COOKIE",
    "HTTP_AUTHORIZATION",
};

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

}  // namespace

const char* RequestVariableName(int index) {
  return index >= 0 && index < kVariableCount ? kNames[index] : "";
}

std::string EnvironmentVariables::Get(const char* name) const {
  return platform::GetEnvironment(name);
}

std::string ParameterVariables::Get(const char* name) const {
  for (auto it = params_.rbegin(); it != params_.rend(); ++it) {
    if (it->first == name) return it->second;
  }
  return std::string();
}

namespace {
const EnvironmentVariables g_environment;
}  // namespace

TCGIRequest::TCGIRequest() : variables_(&g_environment) {
  std::int32_t length = GetIntegerVariable(kContentLength);
  if (length > 0) body_ = platform::ReadStdin(static_cast<std::size_t>(length));
}

TCGIRequest::TCGIRequest(const RequestVariables& variables, std::string_view input)
    : variables_(&variables) {
  std::int32_t length = GetIntegerVariable(kContentLength);
  if (length > 0) body_ = input.substr(0, static_cast<std::size_t>(length));
}

std::string TCGIRequest::GetStringVariable(int index) const {
  if (index == kRequestBody) return body_;
  const char* name = RequestVariableName(index);
  if (*name == '\0') return std::string();
  std::string value = variables_->Get(name);
  if (value.empty() && std::strncmp(name, "HTTP_", 5) == 0) value = variables_->Get(name + 5);
  return value;
}

std::int32_t TCGIRequest::GetIntegerVariable(int index) const {
  auto value = common::ParseInt32(GetStringVariable(index));
  return value ? *value : -1;
}

double TCGIRequest::GetDateVariable(int index) const {
  double days = -1.0;
  if (!ParseHttpDate(GetStringVariable(index), days)) return -1.0;
  return days;
}

bool ParseHttpDate(const std::string& text, double& days) {
  // Split into words of letters or digits; ':' keeps the time together.
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    bool part =
        (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ':';
    if (part) {
      word += c;
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(word);
  int day = -1, month = -1, year = -1, hh = -1, mm = -1, ss = -1;
  for (const std::string& w : words) {
    if (w.find(':') != std::string::npos) {
      if (std::sscanf(w.c_str(), "%2d:%2d:%2d", &hh, &mm, &ss) != 3) return false;
    } else if (w[0] >= '0' && w[0] <= '9') {
      auto v = common::ParseInt32(w);
      if (!v) return false;
      if (day < 0 && w.size() <= 2) {
        day = *v;
      } else {
        year = *v;
        if (w.size() <= 2) year += year < 70 ? 2000 : 1900;
      }
    } else {
      for (int i = 0; i < 12; ++i) {
        if (platform::UpperAscii(w).compare(0, 3, platform::UpperAscii(kMonths[i])) == 0 &&
            w.size() == 3)
          month = i + 1;
      }
    }
  }
  if (day < 1 || day > 31 || month < 1 || year < 1601 || year > 9999 || hh < 0 || hh > 23 ||
      mm < 0 || mm > 59 || ss < 0 || ss > 60) {
    return false;
  }
  days = static_cast<double>(common::DaysFromCivil(year, month, day)) +
         (hh * 3600 + mm * 60 + ss) / 86400.0;
  return true;
}

std::string FormatHttpDate(double days) {
  long whole = static_cast<long>(std::floor(days));
  long seconds = std::lround((days - static_cast<double>(whole)) * 86400.0);
  if (seconds >= 86400) {
    ++whole;
    seconds -= 86400;
  }
  int y = 0, m = 0, d = 0;
  common::CivilFromDays(whole, y, m, d);
  long weekday = ((whole - 1) % 7 + 7) % 7;  // 1899-12-30 was a Saturday
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02ld:%02ld:%02ld GMT", kWeekdays[weekday],
                d, kMonths[m - 1], y, seconds / 3600, (seconds / 60) % 60, seconds % 60);
  return buffer;
}

}  // namespace frame
