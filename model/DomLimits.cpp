// The attribute bounds of the DOM's parser (DomNodes_p.h): a scan of the
// document's text before libxml2 sees it, and the parser's declarations of
// attribute defaults and entities as they are read.
#include <iconv.h>

#include <libxml/SAX2.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string>
#include <string_view>

#include "model/DomNodes_p.h"

namespace vexa::model {

namespace {

bool StartsWith(std::string_view s, std::size_t at, std::string_view what) {
  return s.size() - std::min(at, s.size()) >= what.size() && s.compare(at, what.size(), what) == 0;
}

// Past the end of `what` after `at`; npos when it never comes.
std::size_t After(std::string_view s, std::size_t at, std::string_view what) {
  const std::size_t found = s.find(what, at);
  return found == std::string_view::npos ? found : found + what.size();
}

// Past a markup declaration that began with "<!" before `at` (a document
// type with its internal subset, or one declaration inside it): quoted
// literals, comments and processing instructions are passed over whole.
std::size_t AfterDeclaration(std::string_view s, std::size_t at) {
  int depth = 0;
  while (at < s.size()) {
    const char c = s[at];
    if (c == '"' || c == '\'') {
      at = s.find(c, at + 1);
      if (at == std::string_view::npos) return at;
      ++at;
    } else if (StartsWith(s, at, "<!--")) {
      at = After(s, at + 4, "-->");
    } else if (StartsWith(s, at, "<?")) {
      at = After(s, at + 2, "?>");
    } else if (c == '[') {
      ++depth, ++at;
    } else if (c == ']') {
      --depth, ++at;
    } else if (c == '>' && depth <= 0) {
      return at + 1;
    } else {
      ++at;
    }
    if (at == std::string_view::npos) return at;
  }
  return std::string_view::npos;
}

std::string LineOf(std::string_view s, std::size_t at) {
  return "line " + std::to_string(1 + std::count(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
}

// The encoding the XML declaration at the start of the (ASCII-readable)
// text names, in upper case; "" when it names none.
std::string DeclaredEncoding(std::string_view s) {
  if (!StartsWith(s, 0, "<?xml")) return "";
  const std::size_t end = s.find("?>");
  if (end == std::string_view::npos) return "";
  std::string name = PseudoAttribute(std::string(s.substr(5, end - 5)), "encoding");
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// The whole text in UTF-8 through iconv; false when the encoding is not
// known or the text is not in it (the parser refuses such a document).
bool ToUtf8Text(std::string_view bytes, const std::string& encoding, std::string* out) {
  iconv_t cd = iconv_open("UTF-8", encoding.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->clear();
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char buffer[16384];
  bool ok = true;
  while (inLeft > 0) {
    char* o = buffer;
    std::size_t oLeft = sizeof buffer;
    const std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out->append(buffer, static_cast<std::size_t>(o - buffer));
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      ok = false;
      break;
    }
  }
  iconv_close(cd);
  return ok;
}

}  // namespace

std::string TooManyAttributes(std::string_view text) {
  std::size_t at = 0;
  while ((at = text.find('<', at)) != std::string_view::npos) {
    if (StartsWith(text, at, "<!--")) {
      at = After(text, at + 4, "-->");
    } else if (StartsWith(text, at, "<![CDATA[")) {
      at = After(text, at + 9, "]]>");
    } else if (StartsWith(text, at, "<?")) {
      at = After(text, at + 2, "?>");
    } else if (StartsWith(text, at, "<!")) {
      at = AfterDeclaration(text, at + 2);
    } else if (StartsWith(text, at, "</")) {
      at += 2;
    } else {
      // A start tag: one '=' outside the quoted values for each attribute
      // and each namespace declaration.
      const std::size_t tag = at;
      std::size_t attributes = 0;
      char quote = 0;
      for (++at; at < text.size(); ++at) {
        const char c = text[at];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '=') {
          if (++attributes > kMaxAttributes) {
            return "an element carries more than " + std::to_string(kMaxAttributes) + " attributes (" +
                   LineOf(text, tag) + ")";
          }
        } else if (c == '>') {
          break;
        }
      }
    }
    if (at == std::string_view::npos) break;
  }
  return "";
}

std::string DocumentTooManyAttributes(std::string_view bytes, bool utf8) {
  if (utf8) return TooManyAttributes(bytes);
  const auto starts = [&](std::string_view signature) { return StartsWith(bytes, 0, signature); };
  using namespace std::string_view_literals;
  // The encodings libxml2 tells from the first bytes, then the one the
  // declaration names; the text is scanned as the parser will read it.
  std::string encoding;
  if (starts("\xEF\xBB\xBF"sv)) {
    encoding = "UTF-8";
  } else if (starts("\xFF\xFE\0\0"sv) || starts("<\0\0\0"sv)) {
    encoding = "UTF-32LE";
  } else if (starts("\0\0\xFE\xFF"sv) || starts("\0\0\0<"sv)) {
    encoding = "UTF-32BE";
  } else if (starts("\xFF\xFE"sv) || starts("<\0?\0"sv)) {
    encoding = "UTF-16LE";
  } else if (starts("\xFE\xFF"sv) || starts("\0<\0?"sv)) {
    encoding = "UTF-16BE";
  } else if (starts("\x4C\x6F\xA7\x94"sv)) {
    // EBCDIC: the declaration, read in the common code page, names the
    // page of the rest.
    std::string head;
    ToUtf8Text(bytes.substr(0, std::min<std::size_t>(bytes.size(), 200)), "IBM037", &head);
    encoding = DeclaredEncoding(head);
    if (encoding.empty()) encoding = "IBM037";
  } else {
    encoding = DeclaredEncoding(bytes);
  }
  if (encoding.empty() || encoding == "UTF-8" || encoding == "UTF8" || encoding == "US-ASCII" ||
      encoding == "ASCII") {
    return TooManyAttributes(bytes);
  }
  // An encoding iconv does not know is one the parser reads as ASCII or
  // refuses.
  std::string text;
  if (!ToUtf8Text(bytes, encoding, &text) && text.empty()) return TooManyAttributes(bytes);
  return TooManyAttributes(text);
}

namespace {

struct AttributeGuard {
  std::size_t defaults = 0;
  std::string breach;
};

AttributeGuard* GuardOf(void* ctx) {
  return static_cast<AttributeGuard*>(static_cast<xmlParserCtxtPtr>(ctx)->_private);
}

void Stop(void* ctx, std::string why) {
  AttributeGuard* guard = GuardOf(ctx);
  if (guard->breach.empty()) guard->breach = std::move(why);
  xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
}

// Every default the document type gives an attribute is added to each
// element of that name as it is parsed.
void OnAttributeDecl(void* ctx, const xmlChar* element, const xmlChar* name, int type, int def,
                     const xmlChar* defaultValue, xmlEnumerationPtr tree) {
  if (defaultValue && ++GuardOf(ctx)->defaults > kMaxAttributes) {
    xmlFreeEnumeration(tree);
    Stop(ctx, "the document type declares more than " + std::to_string(kMaxAttributes) + " attribute defaults");
    return;
  }
  xmlSAX2AttributeDecl(ctx, element, name, type, def, defaultValue, tree);
}

// The text of an internal entity is parsed where the entity is used: its
// start tags are bounded like the document's own.
void OnEntityDecl(void* ctx, const xmlChar* name, int type, const xmlChar* publicId, const xmlChar* systemId,
                  xmlChar* content) {
  if (content) {
    if (std::string why = TooManyAttributes(reinterpret_cast<const char*>(content)); !why.empty()) {
      Stop(ctx, "in the entity " + std::string(reinterpret_cast<const char*>(name)) + ", " + why);
      return;
    }
  }
  xmlSAX2EntityDecl(ctx, name, type, publicId, systemId, content);
}

}  // namespace

xmlDocPtr ReadWithAttributeBounds(xmlParserCtxtPtr ctxt, const std::string& bytes, const char* url,
                                  const char* encoding, std::string* breach) {
  AttributeGuard guard;
  ctxt->_private = &guard;
  ctxt->sax->attributeDecl = OnAttributeDecl;
  ctxt->sax->entityDecl = OnEntityDecl;
  xmlDocPtr doc = xmlCtxtReadMemory(ctxt, bytes.data(), static_cast<int>(bytes.size()), url, encoding, kParseOptions);
  ctxt->_private = nullptr;
  if (!guard.breach.empty()) {
    if (doc) xmlFreeDoc(doc);
    *breach = std::move(guard.breach);
    return nullptr;
  }
  return doc;
}

}  // namespace vexa::model
