#include "program/process_state.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue/areas.h"
#include "catalogue/catalogue.h"
#include "catalogue/headers_file.h"
#include "common/page_text.h"
#include "common/process_priority.h"
#include "page/options_handler.h"
#include "platform/files.h"
#include "platform/priority.h"
#include "server/file_scan.h"
#include "server/site_paths.h"
#include "server/statistics.h"
#include "support/test_site.h"

namespace program {
namespace {

// A request that leaves a trace in every value it can: books found only in
// the default folders (the scan moves both book folders there and sets flags
// the next scan never clears), their names read, a session started and a
// page half built. The next request starts as a new process would.
TEST(ProcessState, EachRequestStartsAsANewProcessWould) {
  testkit::TempDir root;
  testkit::Site site(root.path() + "/cgi-bin");
  testkit::Site fallback(root.path() + "/Kbx32-d4");
  testkit::WriteFile(root.path() + "/Kbx32-d4/txt/ARQUR.TXT", testkit::BookText("Q", "A"));
  for (char d : std::string("012345")) {
    testkit::WriteFile(root.path() + "/Kbx32-d4/indexes/ARQUR.IX" + d, "");
  }
  platform::SetDriveRoot(root.path());
  StartProcess("/cgi-bin/enPanel");
  StartRequest();
  testkit::TestRequest request;
  request.variables[common::kHost] = "localhost";
  testkit::TestResponse response;
  bool handled = false;
  page::DoEngineAction1(request, response, handled);
  ASSERT_EQ(server::TXTPath, server::kFallbackTxtPath);
  ASSERT_TRUE(server::TxtOnWeb[1] && server::CanUseFile[1]);
  ASSERT_EQ(server::HostName, "localhost");
  server::StatsBegin(request);  // a session begun and never ended
  common::AddToPage("left over");
  common::RequestedPriority = platform::kIdlePriorityClass;
  catalogue::BookHeaders[1].BookName = "left over";
  page::F_Rec[0].resize(3);
  page::InitFailed = true;
  catalogue::S_Rec[0].TotF = 3;
  catalogue::MaxAreaRows = 3;
  // Between the two requests the statistics folder goes away.
  std::filesystem::remove_all(site.program_folder + "Statistics");

  StartRequest();
  EXPECT_EQ(server::_WebPath, "/cgi-bin/");
  EXPECT_EQ(server::TXTPath, "/cgi-bin/fulltxt/");
  EXPECT_EQ(server::IDXPath, "/cgi-bin/fullindexes/");
  EXPECT_TRUE(testkit::Exists(site.program_folder + "Statistics")) << "made again";
  EXPECT_EQ(server::TotFilesOnWeb, 0);
  for (int s = 1; s <= catalogue::WebFiles; ++s) {
    ASSERT_FALSE(server::TxtOnWeb[s] || server::IdxOnWeb[s] || server::Ix3OnWeb[s] ||
                 server::CanUseFile[s])
        << s;
    ASSERT_TRUE(catalogue::BookHeaders[s].Code.empty() &&
                catalogue::BookHeaders[s].BookName.empty())
        << s;
  }
  EXPECT_FALSE(catalogue::CatalogueBuilt);
  EXPECT_EQ(catalogue::CodeOf(1), "");
  EXPECT_EQ(server::HostName, "");
  EXPECT_EQ(server::SessionFile, "");
  EXPECT_EQ(common::PageText, "");
  EXPECT_EQ(common::RequestedPriority, platform::kNormalPriorityClass);
  EXPECT_TRUE(page::F_Rec[0].empty());
  EXPECT_FALSE(page::InitFailed);
  EXPECT_EQ(catalogue::S_Rec[0].TotF, 0);
  EXPECT_EQ(catalogue::MaxAreaRows, 0);
  EXPECT_EQ(catalogue::S_Rec[8].AreaId, "Mthdlgy");
  platform::SetDriveRoot("");
}

}  // namespace
}  // namespace program
