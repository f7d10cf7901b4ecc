#include "sample_text.h"

namespace fndl {
namespace {

SampleSpan Plain(const char* text) {
  return {false, false, false, text};
}
SampleSpan Bold(const char* text) {
  return {true, false, false, text};
}
SampleSpan Italic(const char* text) {
  return {false, true, false, text};
}
SampleSpan Underlined(const char* text) {
  return {false, false, true, text};
}
SampleSpan Heading(const char* text) {
  return {true, false, true, text};
}

// The document is data, not steps: a table at namespace scope rather than the body of a function.
const std::vector<SampleParagraph> kDocument = {
    {Heading("Soft fonts on a PCL XL page — a sample job written by fndl")},
    {},
    {Plain("Every line of this job went through the Tavrfndl library, one run of text per "
           "call. The first time the library meets a font number it sends the font's header: "
           "format 0, with a GT segment that carries the font-wide TrueType tables (the control "
           "values, the font program and the pre-program, the head, the horizontal header and "
           "metrics, and the maximum profile) as a small font directory of its own. Then, run "
           "by run, it sends the glyphs of the characters the printer does not have yet, selects "
           "the font with its size, bold value and shear, and writes the text with an explicit "
           "advance after every character. Nothing on these pages comes from a font that lives "
           "in the printer: if the text prints, the soft font works.")},
    {},
    {Bold("Breaking lines. "),
     Plain("The library breaks a run at the last space before the character that would cross "
           "the right limit of the page, and it starts the continuation lines at the x the "
           "driver gives. A word longer than a line is cut where it overflows. The driver does "
           "not measure anything: it hands over runs of at most 515 UTF-16 units and lets the "
           "library place them, reads back from the library's output where each run ended so "
           "that the next run of the paragraph goes on there, and starts the next paragraph "
           "one line spacing below.")},
    {},
    {Bold("Filling the page. "),
     Plain("When a line would reach below the box that the library clips every run to, its "
           "descenders included, the library stops the run and reports that the page is full. "
           "The driver then ends the page, begins the next one, puts the cursor back at the "
           "top margin and calls again with the same record: the record remembers how much of "
           "its text is already on paper, and the library selects the font again before it "
           "writes the rest, so no line is lost.")},
    {},
    {Italic("The quick brown fox jumps over the lazy dog. Pack my box with five dozen liquor "
            "jugs. How vexingly quick daft zebras jump! Sphinx of black quartz, judge my vow.")},
    {},
    {Underlined("Accented Latin letters")},
    {Plain("To a TrueType font each accented letter is a glyph of its own, and many of them "
           "are composite glyphs that place a mark over a base letter. The printer must "
           "receive the components as well, so these lines exercise the composite path of the "
           "glyph download: à á â ã ä å æ ç è é ê ë ì í î ï ð ñ ò ó ô õ ö ø ù ú û ü ý þ ÿ, "
           "and the capitals À Á Â Ã Ä Å Æ Ç È É Ê Ë Ì Í Î Ï Ð Ñ Ò Ó Ô Õ Ö Ø Ù Ú Û Ü Ý Þ. "
           "Central European text adds ą ć ę ł ń ó ś ź ż, č ď ě ň ř š ť ů ž, ő ű and ĺ ľ ŕ.")},
    {},
    {Bold("Français. "),
     Plain("Le cœur déçu mais l’âme plutôt naïve, Louÿs rêva de crapaüter en canoë au delà "
           "des îles, près du mälström où brûlent les novæ. Une imprimante ne connaît pas la "
           "police du document : le pilote la lui envoie caractère par caractère, avant "
           "d’écrire le texte à l’endroit voulu.")},
    {Bold("Deutsch. "),
     Plain("Zwölf Boxkämpfer jagen Viktor quer über den großen Sylter Deich. Der Drucker "
           "erhält jede Glyphe nur ein einziges Mal; spätere Zeilen verwenden sie wieder, ohne "
           "dass sie erneut übertragen wird.")},
    {Bold("Polski. "), Plain("Pchnąć w tę łódź jeża lub ośm skrzyń fig.")},
    {Bold("Čeština. "), Plain("Příliš žluťoučký kůň úpěl ďábelské ódy.")},
    {Bold("Magyar. "), Plain("Árvíztűrő tükörfúrógép.")},
    {},
    {Underlined("Ελληνικά")},
    {Plain("Ξεσκεπάζω την ψυχοφθόρα βδελυγμία. Ο εκτυπωτής λαμβάνει κάθε γλύφο μία μόνο φορά: "
           "πρώτα έρχεται η κεφαλίδα της γραμματοσειράς με τους κοινούς πίνακες, και μετά, "
           "σε κάθε τμήμα κειμένου, μόνο οι χαρακτήρες που λείπουν ακόμη.")},
    {Italic("Άλφα, βήτα, γάμμα, δέλτα, έψιλον, ζήτα, ήτα, θήτα, ιώτα, κάππα, λάμδα, μι, νι, ξι, "
            "όμικρον, πι, ρο, σίγμα, ταυ, ύψιλον, φι, χι, ψι, ωμέγα.")},
    {Bold("ΑΒΓΔΕΖΗΘΙΚΛΜΝΞΟΠΡΣΤΥΦΧΨΩ αβγδεζηθικλμνξοπρσςτυφχψω ϊϋΐΰ")},
    {},
    {Underlined("Русский и українська")},
    {Plain("Съешь же ещё этих мягких французских булок, да выпей чаю. Принтер получает шрифт "
           "по частям: сначала заголовок с общими таблицами, затем только те глифы, которые "
           "нужны для текста на странице. Если символа нет в шрифте, библиотека "
           "останавливается перед ним и сообщает, где продолжить.")},
    {Italic("Чуєш їх, доцю, га? Кумедна ж ти, прощайся без ґольфів!")},
    {Bold("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ абвгдеёжзийклмнопрстуфхцчшщъыьэюя ЄІЇҐ єіїґ")},
    {},
    {Underlined("Styles")},
    {Plain("Bold is simulated by the printer: the library sends the same glyphs and a bold "
           "value with the font selection. Italic here is a second font number with a shear, "
           "and underlining is a bar the library paints under each line it writes.")},
    {Bold("This run is bold: the glyphs are shared with the regular text above.")},
    {Italic("This run is italic: a separate font number, so its header and glyphs are sent "
            "again, and the characters lean by the shear the library selects.")},
    {Underlined("This run is underlined, and so long that it has to wrap: every line it takes "
                "gets a bar of its own, as wide as the text on that line and placed at the "
                "font's underline position below the baseline.")},
    {},
    {Underlined("Numbers and signs")},
    {Plain("0123456789 — ½ ¼ ¾ ‰ ± × ÷ ≤ ≥ ≠ ≈ ∞ √ ∑ ∏ ∫ ∂ ∆ µ π Ω § ¶ © ® ™ € £ ¥ ¢ "
           "« » ‹ › „ “ ” ‚ ‘ ’ … • · † ‡ ° ′ ″ ← ↑ → ↓ ↔")},
    {},
    {Underlined("A longer text to fill the pages")},
    {Plain("A printer driver that prints with TrueType fonts has two choices. It can rasterize "
           "the text itself and send pictures of the pages, which is simple but makes large "
           "jobs and ties the output to one resolution; or it can send the fonts to the "
           "printer and let the printer's rasterizer draw the characters at whatever "
           "resolution it has. The second way keeps jobs small, and text stays text: the "
           "printer scales the outlines, applies the hints the font carries, and fills the "
           "glyphs at its own device resolution.")},
    {Plain("PCL XL supports that second way with soft fonts. A soft font is a font that the "
           "printer keeps in memory for the length of a session; it has a name, a header and "
           "a set of characters, and a job can add characters to it at any time. A TrueType "
           "soft font keeps its glyph outlines in the character records and everything the "
           "rasterizer needs for all glyphs in the header, so the driver can send only the "
           "characters a page uses and still let the printer hint them properly.")},
    {Plain("The font header's GT segment looks much like a TrueType font file: an offset "
           "table, a table directory and the tables themselves. It lists an extra table "
           "called gdir with no data, which tells the printer that the glyph data come "
           "separately. Each character record then holds one glyph exactly as the glyf table "
           "stores it, behind a short heading with its format, class, size and glyph index. "
           "A composite glyph refers to other glyphs by index, so those glyphs are sent too, "
           "under a character code that no text uses.")},
    {Plain("Text is sent as character codes, and the printer finds the glyph of each code "
           "through the character records it has received. Every character carries its own "
           "advance in the text operator, so the printer never has to look up a width: the "
           "positions on paper are exactly those the driver and the library computed. That "
           "also means a page prints the same on any printer that accepts the font, whatever "
           "fonts it has built in.")},
    {Plain("When the job ends, the driver removes every font it downloaded, so that a long "
           "session of many jobs does not fill the printer's memory with fonts nobody will use "
           "again. The session then closes, the data source closes, and a universal exit hands "
           "the printer back to its job language switch.")},
    {Plain("The pages of this sample can be listed with fndl dump, which shows every "
           "operator, decodes the font headers and character records as they complete, and "
           "ends with a count of what it read; and they can be previewed with fndl render, "
           "which rebuilds each soft font as a TrueType font from its header and its "
           "character records and draws the pages as PNG images.")},
    {},
    {Italic("End of the sample.")},
};

}  // namespace

const std::vector<SampleParagraph>& SampleDocument() {
  return kDocument;
}

}  // namespace fndl
