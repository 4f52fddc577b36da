#include "formats/xml_tokenizer.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "formats/xml_entities.h"
#include "geo/stream.h"

namespace wy {
namespace {

// Records the events of a tokenizer as one line:
//   "text:Paris" for HandleText,
//   "tag:wpt[lat=1.5][lon=2.5] sc" for HandleTag ("sc" when self-closing),
// joined by " | ".
class TEventLog {
 public:
  explicit TEventLog(TwytXML& xml) {
    xml.HandleText = [this](TwytXML& x) { Add("text:" + x.NodeText()); };
    xml.HandleTag = [this](TwytXML& x) {
      std::string s = "tag:" + x.NodeTag();
      for (const std::string& p : x.NodeParams()) s += "[" + p + "]";
      if (x.NodeSelfClosing()) s += " sc";
      Add(s);
    };
  }
  const std::string& Text() const { return FLog; }

 private:
  void Add(const std::string& s) {
    if (!FLog.empty()) FLog += " | ";
    FLog += s;
  }
  std::string FLog;
};

std::string LogOfStream(const std::string& document) {
  TwytXML xml;
  TEventLog log(xml);
  TMemoryStream stream(document);
  EXPECT_TRUE(xml.LoadFromStream(stream));
  return log.Text();
}

std::string LogOfXml(const std::string& document) {
  TwytXML xml;
  TEventLog log(xml);
  xml.SetXml(document);
  return log.Text();
}

struct TCase {
  const char* name;
  const char* input;  // lines separated by "\n", read with LoadFromStream
  const char* events;
};

const TCase kCases[] = {
    {"element with text", "<name>Paris</name>", "tag:name | text:Paris | tag:/name"},
    {"text line delivered whole", "Paris, France", "text:Paris, France"},
    {"text trimmed, once per line", "<p>  one  \n\ttwo </p>",
     "tag:p | text:one | text:two | tag:/p"},
    {"xml declaration", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
     "tag:xml[version=1.0][encoding=UTF-8]"},
    {"declaration with single quotes, no blank before ?>", "<?xml version='1.0'?><gpx>",
     "tag:xml[version=1.0] | tag:gpx"},
    {"self-closing with attributes", "<wpt lat=\"1.5\" lon=\"2.5\"/>",
     "tag:wpt[lat=1.5][lon=2.5] sc"},
    {"self-closing names", "<x/><y /><br/>", "tag:x/ sc | tag:y sc | tag:br/ sc"},
    {"closing tag with blank", "<a></a >", "tag:a | tag:/a"},
    {"both quote styles", "<trkpt lat='48.85' lon=\"2.35\">", "tag:trkpt[lat=48.85][lon=2.35]"},
    {"blanks, > and the other quote inside values",
     "<a t=\"Tour Eiffel, Paris\" c='x > y' q=\"it's\" s='say \"hi\"'>",
     "tag:a[t=Tour Eiffel, Paris][c=x > y][q=it's][s=say \"hi\"]"},
    {"attributes without blank between them", "<a x=\"1\"y='2'/>", "tag:a[x=1][y=2] sc"},
    {"unquoted values, blanks around =, valueless attribute", "<a x=1 y = \"2\" flag z=3/>",
     "tag:a[x=1][y=2][z=3] sc"},
    {"empty values", "<a x=\"\" y=''>", "tag:a[x=][y=]"},
    {"entities in attribute values",
     "<a n=\"A &amp; B\" m='L&#039;Arc' o=\"&#x27;&lt;&gt;&quot;&apos;\" u=\"&bogus; &amp;lt;\">",
     "tag:a[n=A & B][m=L'Arc][o='<>\"'][u=&bogus; &lt;]"},
    {"entities in text", "<n>A &amp; B &#233;&#xE9; &lt;b&gt; &amp;lt; &#0; &x</n>",
     "tag:n | text:A & B \xC3\xA9\xC3\xA9 <b> &lt; &#0; &x | tag:/n"},
    {"CDATA is text, as written", "<d><![CDATA[a<b & c &amp; ]]></d>",
     "tag:d | text:a<b & c &amp; | tag:/d"},
    {"CDATA and text stay one piece", "<d>x <![CDATA[<b>y</b>]]> z</d>",
     "tag:d | text:x <b>y</b> z | tag:/d"},
    {"CDATA keyword in any letter case", "<d><![cdata[q]]></d>", "tag:d | text:q | tag:/d"},
    {"comments are dropped", "<a/><!-- note --><b/>", "tag:a/ sc | tag:b/ sc"},
    {"comment without blanks is dropped too", "<a><!--note--></a>", "tag:a | tag:/a"},
    {"text around a comment", "<n>Pa<!-- x -->ris</n>", "tag:n | text:Paris | tag:/n"},
    {"comment holding tags and -- >", "<a/><!-- <b c='1'> -- > -> --><c/>",
     "tag:a/ sc | tag:c/ sc"},
    {"comment across lines", "<a>\n<!-- one\n<b>two</b>\n-->\n<c/>", "tag:a | tag:c/ sc"},
    {"comment ending on a line with text", "<a>\n<!-- one\ntwo -->three</a>",
     "tag:a | text:three | tag:/a"},
    {"CDATA across lines", "<d><![CDATA[line <1>\n  line <2> ]]></d>",
     "tag:d | text:line <1> | text:line <2> | tag:/d"},
    {"doctype", "<!DOCTYPE gpx>\n<gpx>", "tag:!DOCTYPE | tag:gpx"},
    {"attributes continued on the next line", "<wpt lat=\"1.5\"\n     lon=\"2.5\">",
     "tag:wpt[lat=1.5][lon=2.5]"},
    {"unindented continuation and a line holding only >", "<wpt\nlat=\"1.5\"\nlon=\"2.5\"\n>\n<b>",
     "tag:wpt[lat=1.5][lon=2.5] | tag:b"},
    {"name on the line after <", "<\nname>x", "tag:name | text:x"},
    {"a line break inside a quoted value is a blank", "<a t=\"x\ny\">", "tag:a[t=x y]"},
    {"truncated tag at the end is dropped", "<a>x</a><b c=\"1", "tag:a | text:x | tag:/a"},
    {"truncated after <", "<a>x<", "tag:a | text:x"},
    {"truncated in the name", "<a>x</", "tag:a | text:x"},
    {"unclosed comment at the end", "<a>\n<!-- never closed\n<b>", "tag:a"},
    {"unclosed CDATA delivers what it holds", "<a><![CDATA[abc", "tag:a | text:abc"},
    {"empty tag", "a<>b", "text:ab"},
};

TEST(XmlTokenizer, EventTable) {
  for (const TCase& c : kCases) {
    EXPECT_EQ(LogOfStream(c.input), c.events) << c.name << ": " << c.input;
  }
}

// A document read block by block, however the reads cut it, gives the
// events of the whole document read at once.
TEST(XmlTokenizer, ReaderGivesTheEventsOfTheWholeDocument) {
  for (const TCase& c : kCases)
    for (const std::string& document :
         {std::string(c.input), "\xEF\xBB\xBF" + std::string(c.input)})
      for (size_t step : {1, 2, 3, 5, 64}) {
        TwytXML xml;
        TEventLog log(xml);
        size_t at = 0;
        EXPECT_TRUE(xml.LoadFromReader([&](char* buffer, size_t size) {
          const size_t n = std::min({step, size, document.size() - at});
          document.copy(buffer, n, at);
          at += n;
          return n;
        }));
        EXPECT_EQ(log.Text(), LogOfXml(document)) << c.name << ", reads of " << step;
      }
}

// Every way of loading a document finds its first fault on the same line,
// however the reads cut it; a well-formed one has none.
TEST(XmlTokenizer, EveryLoadTellsTheLineOfTheFirstFault) {
  const struct {
    const char* input;
    const char* error;
    size_t line;
  } cases[] = {
      {"<?xml version='1.0'?>\n<!DOCTYPE x>\n<a>\n<b/><c></c>\n</a>\n", "", 0},
      {"<a>\n<b>\n</a>\n</b>", "</a> closes <b> (line 2)", 3},
      {"<a>\n\n<b>\n", "the document ends before <b> (line 3) is closed", 3},
      {"<a>\n<b\nc='1", "the document ends inside a tag", 2},
      {"<a>\r\n<![CDATA[x\r\ny", "the document ends inside a CDATA section", 2},
      {"<a>\n</a>\n</b>\n<c>", "</b> closes no open element", 3},
  };
  for (const auto& c : cases) {
    const std::string document = c.input;
    auto check = [&](const TwytXML& xml, const std::string& how) {
      EXPECT_EQ(xml.ErrorString(), c.error) << how << ": " << document;
      EXPECT_EQ(xml.ErrorLine(), c.line) << how << ": " << document;
    };
    TwytXML xml;
    xml.SetXml(document);
    check(xml, "whole");
    TMemoryStream stream(document);
    xml.LoadFromStream(stream);
    check(xml, "stream");
    for (size_t step : {1, 3, 64}) {
      size_t at = 0;
      xml.LoadFromReader([&](char* buffer, size_t size) {
        const size_t n = std::min({step, size, document.size() - at});
        document.copy(buffer, n, at);
        at += n;
        return n;
      });
      check(xml, "reads of " + std::to_string(step));
    }
  }
}

TEST(XmlTokenizer, XmlPropertyReadsOneLine) {
  EXPECT_EQ(LogOfXml("<name>Paris</name>"), "tag:name | text:Paris | tag:/name");
  // Line breaks are ordinary control characters: the text arrives once, and
  // inside a tag they are blanks.
  EXPECT_EQ(LogOfXml("<p>one\ntwo</p><wpt\nlat='1'\n/>"),
            "tag:p | text:one\ntwo | tag:/p | tag:wpt[lat=1] sc");
  EXPECT_EQ(LogOfXml("\xEF\xBB\xBF<a>x</a>"), "tag:a | text:x | tag:/a");
  EXPECT_EQ(LogOfXml("<a><b c='"), "tag:a");

  TwytXML xml;
  xml.SetXml("<a/>");
  EXPECT_EQ(xml.Xml(), "<a/>");
  EXPECT_EQ(xml.State(), esText);
}

TEST(XmlTokenizer, ParamLookupIgnoresCase) {
  TwytXML xml;
  std::string lat, lon, missing, href;
  bool hasLon = true;
  xml.HandleTag = [&](TwytXML& x) {
    lat = x.NodeParams().Value("LAT");
    lon = x.NodeParams().Value("lon");
    hasLon = x.NodeParams().Has("lon");
    missing = x.NodeParams().Value("ele");
    href = x.NodeParams().Value("href");
  };
  xml.SetXml("<wpt Lat='48.85' lat='1' href=\"a.php?x=1&amp;y=2\"/>");
  EXPECT_EQ(lat, "48.85");  // the first of two
  EXPECT_EQ(lon, "");
  EXPECT_FALSE(hasLon);
  EXPECT_EQ(missing, "");
  EXPECT_EQ(href, "a.php?x=1&y=2");
}

TEST(XmlTokenizer, NestedLoadFromAnEventIsRefused) {
  TwytXML xml;
  TEventLog log(xml);
  auto logTag = xml.HandleTag;
  bool nested = true;
  xml.HandleTag = [&](TwytXML& x) {
    logTag(x);
    TMemoryStream other("<other/>");
    nested = x.LoadFromStream(other);
    x.SetXml("<other/>");
  };
  xml.SetXml("<a>x</a>");
  EXPECT_FALSE(nested);
  EXPECT_EQ(log.Text(), "tag:a | text:x | tag:/a");
}

// A stream that hands out its bytes a few at a time, so that lines are cut
// at every possible place between two reads.
class TDribbleStream : public TMemoryStream {
 public:
  TDribbleStream(std::string bytes, size_t chunk)
      : TMemoryStream(std::move(bytes)), FChunk(chunk) {}
  size_t Read(void* buffer, size_t count) override {
    return TMemoryStream::Read(buffer, std::min(count, FChunk));
  }

 private:
  size_t FChunk;
};

std::string SampleGpx(int points) {
  std::string s =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
      "<gpx version=\"1.1\" creator='wymap'>\r\n"
      "  <wpt lat=\"48.85\" lon=\"2.35\"><name>Caf&#233; &amp; Bar</name></wpt>\r\n"
      "  <trk><name><![CDATA[Tour <1>]]></name><trkseg>\r\n";
  for (int i = 0; i < points; ++i) {
    s += "    <trkpt lat=\"" + std::to_string(i) + ".5\"\r\n      lon='" + std::to_string(-i) +
         ".25'/><!-- point " + std::to_string(i) + " -->\r\n";
  }
  s += "  </trkseg></trk>\r\n</gpx>";  // no line break at the end
  return s;
}

TEST(XmlTokenizer, StreamAndFileWithBomAndCrLf) {
  const std::string doc = SampleGpx(2);
  const std::string expected =
      "tag:xml[version=1.0][encoding=UTF-8] | tag:gpx[version=1.1][creator=wymap] | "
      "tag:wpt[lat=48.85][lon=2.35] | tag:name | text:Caf\xC3\xA9 & Bar | tag:/name | tag:/wpt | "
      "tag:trk | tag:name | text:Tour <1> | tag:/name | tag:trkseg | "
      "tag:trkpt[lat=0.5][lon=0.25] sc | tag:trkpt[lat=1.5][lon=-1.25] sc | "
      "tag:/trkseg | tag:/trk | tag:/gpx";
  EXPECT_EQ(LogOfStream(doc), expected);

  // Read from the current position on.
  {
    TwytXML xml;
    TEventLog log(xml);
    TMemoryStream stream("skipped<a>x</a>");
    stream.SetPosition(7);
    xml.LoadFromStream(stream);
    EXPECT_EQ(log.Text(), "tag:a | text:x | tag:/a");
  }

  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("wy_xml_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "track.gpx").string();
  {
    std::ofstream out(file, std::ios::binary);
    out << doc;
  }
  {
    TwytXML xml;
    TEventLog log(xml);
    EXPECT_TRUE(xml.LoadFromFile(file));
    EXPECT_EQ(log.Text(), expected);
    EXPECT_EQ(xml.ErrorString(), "");
  }
  {
    TwytXML xml;
    TEventLog log(xml);
    EXPECT_FALSE(xml.LoadFromFile((dir / "missing.gpx").string()));
    EXPECT_FALSE(xml.LoadFromFile(dir.string()));
    EXPECT_EQ(log.Text(), "");
  }
  {
    // No fault of an earlier document stays after a file that cannot be read.
    TwytXML xml;
    xml.SetXml("<a>");
    EXPECT_FALSE(xml.LoadFromFile((dir / "missing.gpx").string()));
    EXPECT_EQ(xml.ErrorString(), "");
  }
  std::filesystem::remove_all(dir);
}

TEST(XmlTokenizer, LinesCutBetweenReadsGiveTheSameEvents) {
  // Longer than the tokenizer's read block, with one very long line.
  std::string doc = SampleGpx(3000);
  doc.insert(doc.find("<trk>"), "<desc>" + std::string(200000, 'x') + "</desc>");
  const std::string expected = LogOfStream(doc);
  ASSERT_NE(expected.find(std::string(200000, 'x')), std::string::npos);
  for (size_t chunk : {1u, 2u, 3u, 7u, 4093u}) {
    TwytXML xml;
    TEventLog log(xml);
    TDribbleStream stream(doc, chunk);
    xml.LoadFromStream(stream);
    EXPECT_EQ(log.Text(), expected) << "chunk " << chunk;
  }
}

TEST(XmlTokenizer, RandomInputEndsCleanly) {
  // Random documents over XML's special characters: no crash (the sanitizer
  // builds check memory), every event well-formed, and the state reset after
  // every load.
  const std::string alphabet =
      "<<>>/!!--[[]]?"
      "?==''\"\"&&;# \t\r\n\nabcxCDATA01\xC3\xA9";
  std::mt19937 rng(12345);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<size_t> length(0, 400);
  TwytXML xml;
  size_t events = 0;
  xml.HandleTag = [&](TwytXML& x) {
    ++events;
    EXPECT_FALSE(x.NodeTag().empty());
    for (const std::string& p : x.NodeParams()) EXPECT_NE(p.find('='), std::string::npos);
  };
  xml.HandleText = [&](TwytXML& x) {
    ++events;
    ASSERT_FALSE(x.NodeText().empty());
    EXPECT_GT(static_cast<unsigned char>(x.NodeText().front()), 0x20);
    EXPECT_GT(static_cast<unsigned char>(x.NodeText().back()), 0x20);
  };
  for (int i = 0; i < 3000; ++i) {
    std::string doc;
    const size_t n = length(rng);
    for (size_t k = 0; k < n; ++k) doc += alphabet[pick(rng)];
    if (i % 2) {
      xml.SetXml(doc);
    } else {
      TMemoryStream stream(doc);
      xml.LoadFromStream(stream);
    }
    EXPECT_EQ(xml.State(), esText);
  }
  EXPECT_GT(events, 1000u);
}

TEST(XmlTokenizer, HostileInputsTakeLinearTime) {
  // Each input is a few MB of a pattern that a tokenizer re-scanning its
  // pending text would need hours for; a loose bound only catches that.
  const size_t size = 4 * 1024 * 1024;
  auto repeat = [size](const std::string& unit, const std::string& head = "") {
    std::string s = head;
    while (s.size() < size) s += unit;
    return s;
  };
  const std::vector<std::string> inputs = {
      repeat("<!--"),        repeat("-", "<!--"), repeat("->", "<!--"), repeat("]>", "<![CDATA["),
      repeat("<![CDATA["),   repeat("<a b='"),    repeat(" a=", "<x"),  repeat("&#x", "<a>"),
      repeat("&amp", "<a>"), repeat("<"),         repeat(" ", "<a>x"),  repeat("x", "<"),
  };
  for (const std::string& input : inputs) {
    for (bool byLines : {false, true}) {
      TwytXML xml;
      size_t events = 0;
      xml.HandleTag = [&](TwytXML&) { ++events; };
      xml.HandleText = [&](TwytXML&) { ++events; };
      const auto start = std::chrono::steady_clock::now();
      if (byLines) {
        std::string lines = input;
        for (size_t i = 80; i < lines.size(); i += 81) lines[i] = '\n';
        TMemoryStream stream(lines);
        xml.LoadFromStream(stream);
      } else {
        xml.SetXml(input);
      }
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      EXPECT_LT(seconds, 20.0) << input.substr(0, 12) << (byLines ? " (lines)" : "");
    }
  }
}

TEST(XmlEntities, SinglePassDecoding) {
  struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"A &amp; B", "A & B"},
      {"&amp;lt; &amp;amp;", "&lt; &amp;"},
      {"&lt;&gt;&quot;&apos;&AMP;&Lt;", "<>\"'&<"},
      {"&nbsp;|&#160;", "\xC2\xA0|\xC2\xA0"},
      {"&#39;&#039;&#x27;&#X27;", "''''"},
      {"&#x20AC; &#128512; &#x10FFFF;", "\xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"},
      {"&#x110000; &#0; &#xD800; &#; &#x; &#12a; &#65",
       "&#x110000; &#0; &#xD800; &#; &#x; &#12a; &#65"},
      {"&unknown; &amp &copy; & ;", "&unknown; &amp &copy; & ;"},
      {"&&amp;&", "&&&"},
      {"tail &", "tail &"},
  };
  for (const auto& c : cases) EXPECT_EQ(XmlDecodeEntities(c.in), c.out) << c.in;

  std::string out = "x";
  const std::string value = "a\tb\r\nc\nd&#10;e";
  AppendXmlDecoded(out, value.data(), value.size(), true);
  EXPECT_EQ(out, "xa b c d\ne");
}

}  // namespace
}  // namespace wy
