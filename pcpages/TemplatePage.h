// The page engine of the PC pages: a template is a whole HTML text with tags
// (a name in square brackets, "[NUM]") and optional blocks (the text from
// "[NAME]" through "[/NAME]"). A page is rendered from a template, a list of
// tags with their values and a list of blocks to drop, and written to a file.
//
// Page text is UTF-8. Markers are plain ASCII, so searching the bytes never
// matches inside a multi-byte character.
#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/Time.h"

namespace vexa::pcpages {

// Failures of the page generators (storage exhausted, a record made with an
// empty file name). The message is kept in a fixed buffer of 512 characters,
// so raising one never needs memory.
class HtmlPageException : public std::exception {
 public:
  explicit HtmlPageException(std::string_view message);
  const char* what() const noexcept override { return message_; }

 private:
  char message_[512];
};

// Failures of the tag list ("Invalid tag": a tag made with an empty name).
class RepTagException : public std::exception {
 public:
  explicit RepTagException(std::string_view message);
  const char* what() const noexcept override { return message_; }

 private:
  char message_[512];
};

// How a tag's value is put into the page.
enum class TagKind {
  // A caller's text (titles, paths, versions): escaped for HTML, with its
  // "[" written as a character reference, so it shows as typed and no later
  // tag is ever filled inside it.
  kValue,
  // One of the system's own texts: escaped for HTML, but tags inside it are
  // filled by later entries ("Image [NUM] of [NUMPICS]").
  kText,
  // Markup inserted as it is (a block of rows rendered before, a text that
  // carries its own markup).
  kRaw,
};

struct RepTag {
  RepTag(std::string_view name, std::string_view value, TagKind kind);  // RepTagException on an empty name
  std::string name;
  std::string value;
  TagKind kind;
};

// The tags of one page, applied in the order they were added; a name may
// appear more than once.
class RepTagList {
 public:
  // An empty name adds nothing and answers false.
  bool Add(std::string_view name, std::string_view value, bool raw = false);
  bool AddText(std::string_view name, std::string_view text);
  // The decimal form of the number, as a value.
  bool AddNumber(std::string_view name, long long number);
  void Clear() { tags_.clear(); }

  std::size_t Count() const { return tags_.size(); }
  std::vector<RepTag>::const_iterator begin() const { return tags_.begin(); }
  std::vector<RepTag>::const_iterator end() const { return tags_.end(); }

 private:
  std::vector<RepTag> tags_;
};

// Results of TemplatePage::Write, in the order they are checked.
enum WriteResult : int {
  kWritten = 0,
  kEmptyPath = 1,
  kFileExists = 2,          // and overwriting was not asked for
  kPathIsFolder = 3,
  kFileReadOnly = 4,
  kFolderReadOnly = 5,      // the folder the file or its first missing folder goes into
  kFileOnTheWay = 6,        // a name on the way is an existing file
  kCannotMakeFolder = 7,
  kCannotWrite = 9,
};

class TemplatePage {
 public:
  explicit TemplatePage(std::string_view templateText);

  void SetPageTitle(std::string_view title) { title_ = title; }
  const std::string& PageTitle() const { return title_; }
  // The clock [DATE] is read from (the real one unless a test sets its own).
  void SetClock(const base::Clock* clock) { clock_ = clock; }

  // The page: title block, [HTMLTITLE], date-line block, [DATE], the dropped
  // blocks, then every tag in order. Tags that nothing fills stay as written.
  std::string Render(const RepTagList& tags, const std::vector<std::string>& drop = {}) const;

  // Renders and writes the page to path, creating missing folders. The file
  // is written beside its place and renamed over it, so a failure never
  // leaves part of a page. Answers a WriteResult.
  int Write(std::string_view path, const RepTagList& tags, const std::vector<std::string>& drop,
            bool overwrite) const;

 private:
  std::string template_;
  std::string title_;
  std::string dateLine_ = "%#x";
  const base::Clock* clock_ = nullptr;
};

// ---- Text helpers ---------------------------------------------------------------

// "&", "<", ">", quotes and apostrophes as character references; with
// protectTags also "[".
std::string EscapeHtml(std::string_view text, bool protectTags);
// A text made safe inside a JavaScript string literal in either quote.
std::string EscapeJs(std::string_view text);
// Today's date in the long form of the user's locale ("Tuesday, March 3, 2026").
std::string LongDate(const base::Clock& clock);

// Deletes every block from "[name]" through "[/name]" (searching from the
// start each time, while the start lies before the end).
void DeleteBlocks(std::string& text, std::string_view name);
// Replaces every occurrence of `what`; searching goes on after each inserted
// value, so a value is never searched for the same text again.
void ReplaceAll(std::string& text, std::string_view what, std::string_view with);

// ---- Paths shared by the generators ------------------------------------------------

// Every "\" as "/", then "//" collapsed until none is left.
std::string NormaliseLink(std::string_view path);
// The way back from folder to the root of the page tree: "../" once for every
// folder ("VIEW/BROWSE/HTML/" gives "../../../").
std::string RelativePrefix(std::string_view folder);
// What follows the last "/" or "\".
std::string FileNameOf(std::string_view path);
// A normalised relative link with the characters that would end or change a
// URL path (blank, quote, "#", "%", "?", "<", ">" and control characters)
// percent-encoded.
std::string UrlPath(std::string_view path);

}  // namespace vexa::pcpages
