#include "page/options_handler.h"

#include "catalogue/book_headers.h"
#include "catalogue/catalogue.h"
#include "catalogue/headers_file.h"
#include "common/page_text.h"
#include "common/process_priority.h"
#include "common/text.h"
#include "page/book_grid.h"
#include "page/page_head.h"
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

void DoEngineAction1(common::WebRequest& request, common::WebResponse& response, bool& handled) {
  common::RequestedPriority = platform::kIdlePriorityClass;
  common::SetProcessPriority(common::RequestedPriority);
  try {
    server::StatsBegin(request);
    InitFailed = false;
    std::string host = platform::UpperAscii(server::HostName);
    if (IsMirrorHost(host)) {
      AddToPage(std::string("<b>Please use our main site</b></br><a href=\"") + kMainSiteAddress +
                "\">" + kMainSiteAddress + "</a></br>");
      AddToPage("You used: " + HtmlEscape(host));
    } else {
      catalogue::BuildCatalogue();
      std::string diagnostic;
      try {
        server::CGIFindAvailFiles(diagnostic);
      } catch (...) {
        // What the scan found shows in TotFilesOnWeb.
      }
      WritePageHead();
      if (!catalogue::CallGetHeaders(true, server::_WebPath)) {
        AddToPage("enPanel: Error trying to read Reference Headers. Aborting program");
      }
      try {
        BuildRowLists();
      } catch (...) {
        InitFailed = true;
        AddToPage("<br>>>> EnPanel1: Error 0 exception in arpanel1-<br>");
        ClearRowLists();
      }
      if (InitFailed || server::TotFilesOnWeb == 0) {
        WriteErrorBody(diagnostic);
      } else {
        WriteFixedScript();
        WriteBookGrid();
      }
      ClearRowLists();
    }
    AddToPage("</form></BODY>");
  } catch (...) {
    WritePageHead();
    AddToPage("<BODY>ERROR encountered... Aborting.</BODY>");
  }
  AddToPage("</HTML>");
  response.SetContent(std::move(common::PageText));
  common::PageText.clear();
  handled = true;
  try {
    server::StatsEnd();
  } catch (...) {
    // Statistics never stop the page.
  }
  common::RequestedPriority = platform::kNormalPriorityClass;
  common::SetProcessPriority(common::RequestedPriority);
}

}  // namespace page
