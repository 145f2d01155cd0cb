#include "page/options_handler.h"

#include "catalogue/book_headers.h"
#include "catalogue/catalogue.h"
#include "catalogue/headers_file.h"
#include "common/page_text.h"
#include "common/process_priority.h"
#include "common/text.h"
#include "page/book_grid.h"
#include "page/kept_page.h"
#include "page/page_head.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/priority.h"
#include "server/file_scan.h"
#include "server/site_paths.h"
#include "server/statistics.h"
#include "site_settings.h"

namespace page {

std::array<std::vector<TFileRow>, catalogue::AreaCount> F_Rec;
bool InitFailed = false;

namespace {

using catalogue::S_Rec;
using common::AddToPage;
using common::Trace;

// Room for row TotF + 1 and TotF + 2 of an area's list.
void MakeRoom(std::vector<TFileRow>& list, std::int32_t tot) {
  if (list.size() < static_cast<std::size_t>(tot) + 3)
    list.resize(static_cast<std::size_t>(tot) + 10);
}

void ClearRowLists() {
  for (auto& list : F_Rec) list.clear();
}

bool IsMirrorHost(const std::string& upper_host) {
  return (upper_host.find(kMirrorDomain1) != std::string::npos ||
          upper_host.find(kMirrorDomain2) != std::string::npos) &&
         upper_host != "LOCALHOST";
}

void WriteMirrorNotice(const std::string& upper_host) {
  AddToPage(std::string("<b>Please use our main site</b></br><a href=\"") + kMainSiteAddress +
            "\">" + kMainSiteAddress + "</a></br>");
  AddToPage("You used: " + HtmlEscape(upper_host));
}

// The books in the site's folders, or else in the default folders; the text
// that tells what was tried when only the default folders had books. A scan
// that fails shows as fewer books found.
std::string FindBooks() {
  std::string diagnostic;
  try {
    server::CGIFindAvailFiles(diagnostic);
  } catch (...) {
    // What the scan found before it failed stands in TotFilesOnWeb.
    platform::CountFailure();
  }
  return diagnostic;
}

// The row lists; when building them fails, none is kept and the page shows
// the error body.
void BuildRowListsGuarded() {
  try {
    BuildRowLists();
  } catch (...) {
    platform::CountFailure();
    InitFailed = true;
    AddToPage("<br>>>> EnPanel1: Error 0 exception in arpanel1-<br>");
    ClearRowLists();
  }
}

void WriteErrorBody(const std::string& diagnostic) {
  if (server::TotFilesOnWeb == 0) AddToPage("ERROR 1 in enPanel1: No Files Available on Web");
  if (InitFailed) AddToPage("ERROR 2 in enPanel1: Failed INITIALIZING FILES");
  AddToPage("TotFilesOnWeb=" + std::to_string(server::TotFilesOnWeb) + "<br>");
  if (!diagnostic.empty()) AddToPage(diagnostic + "<br>");
  AddToPage("TXTPath=" + server::TXTPath + "<br>");
  AddToPage("IDXPath=" + server::IDXPath + "<br>");
}

}  // namespace

std::string HtmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void BuildRowLists() {
  Trace("7 before for S_Ix:=tg_FirstArea");
  for (int s = catalogue::tg_FirstArea; s < catalogue::AreaCount; ++s) {
    catalogue::TAreaRecord& area = S_Rec[s];
    std::vector<TFileRow>& list = F_Rec[s];
    int books = 0;
    Trace({"7.1 before WITH S_Rec[S_Ix] DO; s_iX=", common::Decimal(s)});
    for (int f = area.FirstFile; f <= area.LastFile; ++f) {
      Trace({"7.2 before CanUseFile[FlIx]; FlIx=", common::Decimal(f)});
      if (!server::CanUseFile.at(f)) continue;
      MakeRoom(list, area.TotF);
      if (books != 0 && books % 5 == 0) list[++area.TotF] = TFileRow{kSeparatorRow, "", ""};
      ++books;
      const catalogue::TBookHeader& header = catalogue::BookHeaders.at(f);
      list[++area.TotF] = TFileRow{f, catalogue::CleanBookName(header.BookName), header.AuthorName};
      Trace({"7.3 F_Rec[S_Ix][S_Rec[S_Ix].TotF].BookName= ", list[area.TotF].BookName});
    }
    if (area.TotF > catalogue::MaxAreaRows) catalogue::MaxAreaRows = area.TotF;
  }
  for (int s = 0; s < catalogue::AreaCount; ++s) {
    catalogue::TAreaRecord& area = S_Rec[s];
    if (area.TotF > 0 && F_Rec[s][area.TotF].FileIx == kSeparatorRow) {
      F_Rec[s][area.TotF].FileIx = kFillerRow;
    }
  }
  for (int s = 0; s < catalogue::AreaCount; ++s) {
    catalogue::TAreaRecord& area = S_Rec[s];
    while (area.TotF < catalogue::MaxAreaRows) {
      MakeRoom(F_Rec[s], area.TotF);
      F_Rec[s][++area.TotF] = TFileRow{kFillerRow, "", ""};
    }
  }
}

void ResetRowLists() {
  ClearRowLists();
  InitFailed = false;
}

namespace {

// The options page built: catalogue, present books, head, book names, row
// lists, and the page body or the error body.
void BuildOptionsPage() {
  catalogue::BuildCatalogue();
  std::string diagnostic = FindBooks();
  WritePageHead();
  if (!catalogue::CallGetHeaders(true, server::_WebPath)) {
    AddToPage("enPanel: Error trying to read Reference Headers. Aborting program");
  }
  BuildRowListsGuarded();
  if (InitFailed || server::TotFilesOnWeb == 0) {
    WriteErrorBody(diagnostic);
  } else {
    WriteFixedScript();
    WriteBookGrid();
  }
  ClearRowLists();
}

// What ends the options page and the notice, and what ends every answer.
constexpr char kFormEnd[] = "</form></BODY>";
constexpr char kAnswerEnd[] = "</HTML>";

// The options page. A persistent process answers with the page it kept
// while nothing it was built from may have changed (returned: the whole
// answer, sent from where it is kept), and keeps a page whose build had
// nothing to tell the operator.
const std::string* WriteOptionsPage() {
  if (const std::string* kept = KeptPage()) return kept;
  BeginBuild();
  const unsigned long messages = platform::OperatorMessagesWritten();
  BuildOptionsPage();
  EndBuild(common::PageText + kFormEnd + kAnswerEnd,
           platform::OperatorMessagesWritten() != messages);
  return nullptr;
}

// The session's start, then the notice for a mirror's visitors or the
// options page. Anything that goes wrong here comes out as the short error
// page. Returns the kept answer, where the options page is kept.
const std::string* WritePageOrNotice(const common::WebRequest& request) {
  try {
    server::StatsBegin(request);
    InitFailed = false;
    std::string host = platform::UpperAscii(server::HostName);
    if (IsMirrorHost(host)) {
      WriteMirrorNotice(host);
    } else if (const std::string* kept = WriteOptionsPage()) {
      return kept;
    }
    AddToPage(kFormEnd);
  } catch (...) {
    // Whatever failed, the visitor gets a whole page that says so.
    WritePageHead();
    AddToPage("<BODY>ERROR encountered... Aborting.</BODY>");
  }
  return nullptr;
}

// The session's end: a visit that cannot be counted never stops the page.
void EndSession() {
  try {
    server::StatsEnd();
  } catch (...) {
    // Nothing to do: StatsEnd tells the operator what it could not write.
  }
}

void SetPriority(std::int32_t priority_class) {
  common::RequestedPriority = priority_class;
  common::SetProcessPriority(common::RequestedPriority);
}

}  // namespace

void DoEngineAction1(common::WebRequest& request, common::WebResponse& response, bool& handled) {
  SetPriority(platform::kIdlePriorityClass);
  if (const std::string* kept = WritePageOrNotice(request)) {
    response.SetKeptContent(*kept);
  } else {
    AddToPage(kAnswerEnd);
    response.SetContent(std::move(common::PageText));
  }
  common::PageText.clear();
  handled = true;
  EndSession();
  SetPriority(platform::kNormalPriorityClass);
}

}  // namespace page
