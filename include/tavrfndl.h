/*
 * tavrfndl.h - TrueType soft fonts and text runs for PCL XL (PCL 6) print jobs.
 *
 * A printer driver calls FNDLFontDownloadW (or FNDLFontDownloadA) once for every run of text
 * it prints with a TrueType font. The library appends binary PCL XL to the job's output file:
 * the font as a soft font the first time its number is seen, the glyphs the run needs that the
 * printer does not have yet, the font selection, and the run itself at a text cursor that the
 * library keeps between calls. The driver writes the stream header, the session and the page
 * set-up before, and the rest of the job after.
 *
 * Records are fixed binary layouts (little-endian 32-bit numbers, no padding); the sizes and
 * every field offset are checked at compile time below. Wide text is UTF-16 code units on every
 * platform (FNDL_WCHAR), never wchar_t.
 *
 * Threads: every export takes one process-wide lock, so calls from several threads are
 * serialized; a job is still one sequence of runs, and interleaving the runs of two jobs in one
 * process shares the font list and the text cursor between them.
 */
#ifndef TAVRFNDL_H
#define TAVRFNDL_H

#include <stddef.h>
#include <stdint.h>

#define TAVRFNDL_VERSION_MAJOR 0
#define TAVRFNDL_VERSION_MINOR 1
#define TAVRFNDL_VERSION_PATCH 0
#define TAVRFNDL_VERSION_NUMBER \
  (TAVRFNDL_VERSION_MAJOR * 10000 + TAVRFNDL_VERSION_MINOR * 100 + TAVRFNDL_VERSION_PATCH)
#define TAVRFNDL_VERSION_STRING "0.1.0"

#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(TAVRFNDL_BUILDING)
#define TAVRFNDL_API __declspec(dllexport)
#else
#define TAVRFNDL_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) && __GNUC__ >= 4
#define TAVRFNDL_API __attribute__((visibility("default")))
#else
#define TAVRFNDL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One UTF-16 code unit. */
typedef uint16_t FNDL_WCHAR;

/* Results of FNDLFontDownloadA / FNDLFontDownloadW. The values never change meaning. */
#define FNDL_RESULT_OK 0        /* the run is on the page, to its end */
#define FNDL_RESULT_NO_GLYPH 1  /* stopped in front of a character the font has no glyph for */
#define FNDL_RESULT_PAGE_FULL 2 /* the page is full; go on with the same record on a new page */
#define FNDL_RESULT_FAILED 3    /* nothing usable was done, or a font file could not be read */

/* The text of one run and how it looks. A: 548 bytes, W: 1064 bytes. */
typedef struct TEXTINFOA {
  char chText[516];   /* the run, NUL-terminated inside the field (at most 515 characters) */
  int32_t FontHeight; /* tenths of a point */
  int32_t bBold;      /* 1: bold is simulated on the printer */
  int32_t bItalic;    /* nonzero: italic font; 1 also shears the characters of an upright face */
  int32_t bUnderline; /* 1: an underline bar is painted under each line */
  int32_t nReserved;
  int32_t nOffsetToText; /* in/out: UTF-16 units of the text already on the page */
  int32_t nStartX;       /* x at which continuation lines start */
  int32_t bPageFull;     /* out: 1 when the run stopped because the page is full */
} TEXTINFOA;

typedef struct TEXTINFOW {
  FNDL_WCHAR chText[516];
  int32_t FontHeight;
  int32_t bBold;
  int32_t bItalic;
  int32_t bUnderline;
  int32_t nReserved;
  int32_t nOffsetToText;
  int32_t nStartX;
  int32_t bPageFull;
} TEXTINFOW;

/* The font, the output file and the page. A: 592 bytes, W: 1104 bytes. The thirteen fields from
 * lfHeight to lfPitchAndFamily are the members of a Windows LOGFONTA before its face name, each
 * widened to 32 bits. */
typedef struct PAGEINFOA {
  char chFont[256];     /* face name, or with bTTE 1 the path of a TrueType font file */
  char chOutFile[256];  /* the job file that PCL XL is appended to */
  uint32_t nFontId;     /* the driver's number for the font */
  uint32_t nPaperWidth; /* not used */
  int32_t nReserved;
  uint32_t nResolution;  /* dots per inch */
  uint32_t nLineSpacing; /* vertical advance between lines, in page units */
  int32_t lfHeight;      /* not used: the height is FontHeight */
  int32_t lfWidth;       /* not used */
  int32_t lfEscapement;
  int32_t lfOrientation;
  int32_t lfWeight;
  int32_t lfItalic;    /* low byte used when bItalic is 0 */
  int32_t lfUnderline; /* low byte used when bUnderline is 0 */
  int32_t lfStrikeOut;
  int32_t lfCharSet;
  int32_t lfOutPrecision;
  int32_t lfClipPrecision;
  int32_t lfQuality;
  int32_t lfPitchAndFamily;
  int32_t bTTE;   /* 1: font data come from the file chFont; 0: from the font engine */
  int32_t nNextX; /* out: x where the text goes on after result 1, otherwise 0 */
} PAGEINFOA;

typedef struct PAGEINFOW {
  FNDL_WCHAR chFont[256];
  FNDL_WCHAR chOutFile[256];
  uint32_t nFontId;
  uint32_t nPaperWidth;
  int32_t nReserved;
  uint32_t nResolution;
  uint32_t nLineSpacing;
  int32_t lfHeight;
  int32_t lfWidth;
  int32_t lfEscapement;
  int32_t lfOrientation;
  int32_t lfWeight;
  int32_t lfItalic;
  int32_t lfUnderline;
  int32_t lfStrikeOut;
  int32_t lfCharSet;
  int32_t lfOutPrecision;
  int32_t lfClipPrecision;
  int32_t lfQuality;
  int32_t lfPitchAndFamily;
  int32_t bTTE;
  int32_t nNextX;
} PAGEINFOW;

/*
 * FNDLFontDownloadW - put one run of text on the page.
 *
 * Reads: every field of *pText and *pPage except the out-fields. Skips the first nOffsetToText
 * UTF-16 units of chText (units an earlier call already placed).
 * Appends to chOutFile: the font header when nFontId is new, the glyphs of the run's characters
 * the printer lacks, the font selection, then the run at the text cursor (see FNDLSetCursor),
 * broken into lines at the right limit, underlined when bUnderline is 1. A line is written only
 * where the clip box (0, 0, 4900, 6400) shows it whole, its font's descent included; the run
 * stops in front of the first that it would cut, with FNDL_RESULT_PAGE_FULL.
 * Writes back: pPage->nNextX always (0 unless the result is 1); pText->nOffsetToText and
 * pText->bPageFull only when the new value is nonzero, so the caller clears them.
 * Returns FNDL_RESULT_OK, FNDL_RESULT_NO_GLYPH (nOffsetToText and nNextX say where to go on),
 * FNDL_RESULT_PAGE_FULL (bPageFull is 1; call again with the same record on the next page), or
 * FNDL_RESULT_FAILED: the output file cannot be opened, the record breaks its contract (a string
 * without its terminator, nOffsetToText outside the text), the font cannot be downloaded, or a
 * font file named in this or an earlier call could not be read (that condition never clears).
 * On a contract failure nothing is opened, written or changed.
 */
TAVRFNDL_API int32_t FNDLFontDownloadW(TEXTINFOW* pText, PAGEINFOW* pPage);

/*
 * FNDLFontDownloadA - as FNDLFontDownloadW, with chText, chFont and chOutFile in the process's
 * ANSI code page. nOffsetToText still counts UTF-16 units of the converted text.
 */
TAVRFNDL_API int32_t FNDLFontDownloadA(TEXTINFOA* pText, PAGEINFOA* pPage);

/*
 * FNDLRemoveFontW - remove the downloaded font numbered *pnFontId from the printer.
 *
 * Appends RemoveFont for that font to the output file of the call that first downloaded a font.
 * Removing the last font releases everything the library holds (the cursor and the font file
 * error condition stay). An unknown number opens and closes the file and sends nothing. When
 * that file cannot be opened nothing changes, so the removal can be tried again.
 */
TAVRFNDL_API void FNDLRemoveFontW(const uint32_t* pnFontId);

/* FNDLRemoveFontA - the same as FNDLRemoveFontW. */
TAVRFNDL_API void FNDLRemoveFontA(const uint32_t* pnFontId);

/* FNDLGetCursor - the vertical position of the text cursor. */
TAVRFNDL_API int32_t FNDLGetCursor(void);

/* FNDLSetCursor - set the text cursor to (*pnX, *pnY); returns the new vertical position. */
TAVRFNDL_API int32_t FNDLSetCursor(const int32_t* pnX, const int32_t* pnY);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The layouts are a binary contract with drivers: any change here is a break. */
#if defined(__cplusplus)
#define TAVRFNDL_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define TAVRFNDL_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#else
/* Before C11: an array whose size is negative when the condition fails. One name declared again
 * and again is allowed in C, and a declaration needs no semicolon of its own that C89 could call
 * an empty one. */
#define TAVRFNDL_STATIC_ASSERT(cond, msg) extern char tavrfndl_layout_check[(cond) ? 1 : -1]
#endif

TAVRFNDL_STATIC_ASSERT(sizeof(TEXTINFOA) == 548, "TEXTINFOA is 548 bytes");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOA, FontHeight) == 516, "TEXTINFOA.FontHeight");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOA, bBold) == 520, "TEXTINFOA.bBold");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOA, bItalic) == 524, "TEXTINFOA.bItalic");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOA, bUnderline) == 528, "TEXTINFOA.bUnderline");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOA, nReserved) == 532, "TEXTINFOA.nReserved");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOA, nOffsetToText) == 536, "TEXTINFOA.nOffsetToText");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOA, nStartX) == 540, "TEXTINFOA.nStartX");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOA, bPageFull) == 544, "TEXTINFOA.bPageFull");

TAVRFNDL_STATIC_ASSERT(sizeof(TEXTINFOW) == 1064, "TEXTINFOW is 1064 bytes");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOW, FontHeight) == 1032, "TEXTINFOW.FontHeight");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOW, bBold) == 1036, "TEXTINFOW.bBold");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOW, bItalic) == 1040, "TEXTINFOW.bItalic");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOW, bUnderline) == 1044, "TEXTINFOW.bUnderline");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOW, nReserved) == 1048, "TEXTINFOW.nReserved");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOW, nOffsetToText) == 1052, "TEXTINFOW.nOffsetToText");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOW, nStartX) == 1056, "TEXTINFOW.nStartX");
TAVRFNDL_STATIC_ASSERT(offsetof(TEXTINFOW, bPageFull) == 1060, "TEXTINFOW.bPageFull");

TAVRFNDL_STATIC_ASSERT(sizeof(PAGEINFOA) == 592, "PAGEINFOA is 592 bytes");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, chOutFile) == 256, "PAGEINFOA.chOutFile");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, nFontId) == 512, "PAGEINFOA.nFontId");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, nPaperWidth) == 516, "PAGEINFOA.nPaperWidth");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, nReserved) == 520, "PAGEINFOA.nReserved");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, nResolution) == 524, "PAGEINFOA.nResolution");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, nLineSpacing) == 528, "PAGEINFOA.nLineSpacing");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, lfHeight) == 532, "PAGEINFOA.lfHeight");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, lfWidth) == 536, "PAGEINFOA.lfWidth");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, lfEscapement) == 540, "PAGEINFOA.lfEscapement");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, lfOrientation) == 544, "PAGEINFOA.lfOrientation");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, lfWeight) == 548, "PAGEINFOA.lfWeight");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, lfItalic) == 552, "PAGEINFOA.lfItalic");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, lfUnderline) == 556, "PAGEINFOA.lfUnderline");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, lfStrikeOut) == 560, "PAGEINFOA.lfStrikeOut");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, lfCharSet) == 564, "PAGEINFOA.lfCharSet");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, lfOutPrecision) == 568, "PAGEINFOA.lfOutPrecision");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, lfClipPrecision) == 572, "PAGEINFOA.lfClipPrecision");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, lfQuality) == 576, "PAGEINFOA.lfQuality");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, lfPitchAndFamily) == 580, "PAGEINFOA.lfPitchAndFamily");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, bTTE) == 584, "PAGEINFOA.bTTE");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOA, nNextX) == 588, "PAGEINFOA.nNextX");

TAVRFNDL_STATIC_ASSERT(sizeof(PAGEINFOW) == 1104, "PAGEINFOW is 1104 bytes");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, chOutFile) == 512, "PAGEINFOW.chOutFile");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, nFontId) == 1024, "PAGEINFOW.nFontId");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, nPaperWidth) == 1028, "PAGEINFOW.nPaperWidth");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, nReserved) == 1032, "PAGEINFOW.nReserved");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, nResolution) == 1036, "PAGEINFOW.nResolution");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, nLineSpacing) == 1040, "PAGEINFOW.nLineSpacing");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, lfHeight) == 1044, "PAGEINFOW.lfHeight");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, lfWidth) == 1048, "PAGEINFOW.lfWidth");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, lfEscapement) == 1052, "PAGEINFOW.lfEscapement");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, lfOrientation) == 1056, "PAGEINFOW.lfOrientation");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, lfWeight) == 1060, "PAGEINFOW.lfWeight");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, lfItalic) == 1064, "PAGEINFOW.lfItalic");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, lfUnderline) == 1068, "PAGEINFOW.lfUnderline");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, lfStrikeOut) == 1072, "PAGEINFOW.lfStrikeOut");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, lfCharSet) == 1076, "PAGEINFOW.lfCharSet");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, lfOutPrecision) == 1080, "PAGEINFOW.lfOutPrecision");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, lfClipPrecision) == 1084, "PAGEINFOW.lfClipPrecision");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, lfQuality) == 1088, "PAGEINFOW.lfQuality");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, lfPitchAndFamily) == 1092, "PAGEINFOW.lfPitchAndFamily");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, bTTE) == 1096, "PAGEINFOW.bTTE");
TAVRFNDL_STATIC_ASSERT(offsetof(PAGEINFOW, nNextX) == 1100, "PAGEINFOW.nNextX");

#undef TAVRFNDL_STATIC_ASSERT

#endif /* TAVRFNDL_H */
