#include "support/expected_page.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testkit {

const AreaInfo kAreaTable[9] = {
    {"Quran", 1, 55},       {"Hadeeth", 56, 111},  {"Sayings", 112, 141},
    {"Fiqh", 142, 201},     {"Beliefs", 202, 237}, {"Morals", 238, 259},
    {"Lexicons", 260, 329}, {"Usuul", 330, 359},   {"Mthdlgy", 360, 371},
};

namespace {

std::vector<int> Present(const Library& books, const AreaInfo& a) {
  std::vector<int> slots;
  for (const auto& [slot, book] : books) {
    if (slot >= a.first && slot <= a.last) slots.push_back(slot);
  }
  return slots;
}

std::string S(int n) { return std::to_string(n); }

}  // namespace

std::vector<std::string> FixtureLines(const std::string& name) {
  std::ifstream in(std::string(ENPANEL_FIXTURES_DIR) + "/" + name, std::ios::binary);
  if (!in) throw std::runtime_error("missing fixture " + name);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::string FixtureJoined(const std::string& name) {
  std::string all;
  for (const auto& line : FixtureLines(name)) all += line;
  return all;
}

std::string ExpectedKeyboardBlock() {
  std::string block;
  for (const auto& line : FixtureLines("keyboard_en.txt")) block += "\r\n" + line;
  return block;
}

std::string ExpectedHead() {
  return "<HTML><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1256\">" +
         ExpectedKeyboardBlock() + "<HEAD><TITLE>Kutubix - Search Engine</TITLE></HEAD>";
}

std::string ExpectedAreaFunctions(const Library& books) {
  std::string out;
  for (const auto& a : kAreaTable) {
    std::string id = a.id, names;
    for (int f : Present(books, a)) names += "e.name==\"B" + S(f) + "\" || ";
    out += "function CheckAll" + id + "()" +
           "{for (var i=1;i<document.EntryForm.elements.length;i++)" +
           "   {var e = document.EntryForm.elements[i];" +
           "       if (!e.checked && document.EntryForm." + id + "ck.checked ){" + "       if (" +
           names + "e.name==\"" + id + "ck\")" + "  e.checked = !e.checked;" +
           "  if (e.checked ){" + "  document.EntryForm.text1.value++  }}" +
           "      else if (e.checked && !document.EntryForm." + id + "ck.checked ){" +
           "      if (" + names + "e.name==\"" + id + "ck\")" + "  e.checked = !e.checked;" +
           "  if (!e.checked ){" + "  document.EntryForm.text1.value-- } }}}";
  }
  for (const auto& a : kAreaTable) {
    std::string id = a.id, all, none;
    for (int f : Present(books, a)) {
      all += "document.EntryForm.B" + S(f) + ".checked &&";
      none += "!document.EntryForm.B" + S(f) + ".checked &&";
    }
    out += "function unCheckAll" + id + "() {" + "   if (" + all + "!document.EntryForm." + id +
           "ck.checked)" + " document.EntryForm." + id + "ck.click();" + "  else if (" + none +
           "document.EntryForm." + id + "ck.checked){" + "  document.EntryForm." + id +
           "ck.click(); }}";
  }
  for (const auto& a : kAreaTable) {
    std::string id = a.id, any, none;
    for (int f : Present(books, a)) {
      any += "document.EntryForm.B" + S(f) + ".checked ||";
      none += "!document.EntryForm.B" + S(f) + ".checked &&";
    }
    out += "function colorcell" + id + "() {" + "  if (" + any + "document.EntryForm." + id +
           "ck.checked)" + "document.all." + id + ".style.background=\"#FF99FF\";" + "  else if (" +
           none + "!document.EntryForm." + id + "ck.checked){" + "document.all." + id +
           ".style.background=\"#FFFF00\"; }}";
  }
  for (const auto& a : kAreaTable) {
    std::string id = a.id, terms;
    for (int f : Present(books, a)) {
      if (!terms.empty()) terms += "||";
      terms += "!document.EntryForm.B" + S(f) + ".checked";
    }
    if (terms.empty()) terms = "false";
    out += "function notAllChecked" + id + "() {" + "  if (document.EntryForm." + id +
           "ck.checked && (" + terms + "))" + "document.EntryForm." + id +
           "ck.checked =!document.EntryForm." + id + "ck.checked }";
  }
  return out;
}

std::string ExpectedScriptBlock(const Library& books) {
  std::string out = FixtureJoined("script_start.txt");
  for (int s = 8; s >= 0; --s) out += "e.name!=\"" + std::string(kAreaTable[s].id) + "\" && ";
  out += FixtureJoined("script_initialize_end.txt");
  for (int s = 8; s >= 0; --s) {
    std::string id = kAreaTable[s].id;
    out += "if (";
    for (int f : Present(books, kAreaTable[s]))
      out += "document.EntryForm.B" + S(f) + ".checked ||";
    out += "document.EntryForm." + id + "ck.checked){";
    out += "document.all." + id + ".style.background=\"#FF99FF\"; }";
    out += "else if (";
    for (int f : Present(books, kAreaTable[s]))
      out += "!document.EntryForm.B" + S(f) + ".checked &&";
    out += "!document.EntryForm." + id + "ck.checked){";
    out += "document.all." + id + ".style.background=\"#FFFF00\"; }";
  }
  out += FixtureJoined("script_after_coloronstart.txt");
  for (int s = 8; s >= 0; --s) {
    std::string id = kAreaTable[s].id;
    out += "if (";
    for (int f : Present(books, kAreaTable[s]))
      out += "!document.EntryForm.B" + S(f) + ".checked ||";
    out += "document.EntryForm." + id + "ck.checked)";
    out += "document.EntryForm." + id + "ck.click();";
  }
  out += FixtureJoined("script_after_unckeck.txt");
  out += ExpectedAreaFunctions(books);
  out += FixtureJoined("script_end.txt");
  out += "<b><font size=\"5\">Al Kutubix Project - Search Engine </font></b>";
  out += "<b><font color=\"Green\"><font size=\"3\">";
  out += FixtureJoined("form_top.txt");
  return out;
}

std::string ExpectedGrid(const Library& books, const std::string& home_page) {
  // Rows per area: a separator before the 6th, 11th ... book; fillers below.
  std::vector<std::vector<int>> rows(9);
  std::size_t longest = 0;
  for (int s = 0; s < 9; ++s) {
    int count = 0;
    for (int f : Present(books, kAreaTable[s])) {
      if (count > 0 && count % 5 == 0) rows[s].push_back(-2);
      rows[s].push_back(f);
      ++count;
    }
    longest = std::max(longest, rows[s].size());
  }
  std::string out =
      "<table border=\"2\" width=\"100%\" cellspacing=\"1\" cellpadding=\"0\" style=\"font-family: "
      "Arial\" height=\"719\"><tr>";
  for (int s = 8; s >= 0; --s) {
    out +=
        "<td width=\"10%\" bgcolor=\"Green\" align=\"center\" height=\"20\"><font size=\"2\" "
        "color=\"White\"><b>" +
        std::string(kAreaTable[s].id) + "</b></font></th>";
  }
  out += "</tr><tr>";
  for (int s = 8; s >= 0; --s) {
    std::string id = kAreaTable[s].id;
    out +=
        "<td id=\"" + id +
        "\" width=\"10%\" valign=\"top\" bgcolor=\"#FFFF00\" align=\"left\" height=\"26\"><input "
        "name=\"" +
        id + "ck\" type=\"checkbox\" onClick=\"CheckAll" + id + "();colorcell" + id +
        "();\"><span id=\"span\" onClick=\"changeBox('document.EntryForm." + id + "ck'); CheckAll" +
        id + "();colorcell" + id +
        "();\" style=\"CURSOR: hand\"><font color=\"Black\"></font><font size=\"2\"> All "
        "Books</font></span><br></td>";
  }
  out += "<tr>";
  for (std::size_t i = 0; i < longest; ++i) {
    out += "<tr>";
    for (int s = 8; s >= 0; --s) {
      std::string id = kAreaTable[s].id;
      out += "<td width=\"10%\" valign=\"top\" align=\"left\" height=\"21\"><font size=\"2\">";
      int r = i < rows[s].size() ? rows[s][i] : -3;
      if (r == -2) {
        out += "<p align=\"center\"><font color=\"Red\" size=\"2\">" + id + "</font></p>";
      } else if (r == -3) {
        out += "&nbsp;";
      } else {
        std::string f = S(r);
        out += "<input type=\"checkbox\" id=\"" + id + "cell\" name=\"B" + f +
               "\" value=\"ON\" onClick=\"countchecked();unCheckAll" + id + "();colorcell" + id +
               "();notAllChecked" + id + "()\"" + (r == 216 ? "Checked>" : ">");
        out += "<span id=\"span\" onClick=\"changeBox('document.EntryForm.B" + f +
               "');if (document.EntryForm.B" + f +
               ".checked) document.EntryForm.text1.value++;else if (!document.EntryForm.B" + f +
               ".checked) document.EntryForm.text1.value--;unCheckAll" + id + "();colorcell" + id +
               "(); notAllChecked" + id + "()\" style=\"CURSOR: hand\">";
        out += books.at(r).name + "<br>" + books.at(r).author + "</span>";
      }
      out += "</font></td>";
    }
    out += "</tr>";
  }
  out += "</Table><Script Language=\"JavaScript\">ColorOnStart();</Script>";
  out += "<p align=\"center\"><font size=\"4\"><a href=\"" + home_page + "\">Home Page</a> |";
  out += "<A href=\"#\" onclick=history.back()>Back</A></font></p>";
  return out;
}

std::string ExpectedPage(const Library& books, const std::string& home_page) {
  return ExpectedHead() + ExpectedScriptBlock(books) + ExpectedGrid(books, home_page) +
         "</form></BODY></HTML>";
}

std::string ExpectedHeaders(std::size_t length) {
  return "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(length) +
         "\r\nContent:\r\n\r\n";
}

}  // namespace testkit
