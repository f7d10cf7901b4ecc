#include "fontlist/fontlist.h"

#include <new>

namespace tavrfndl {

FONTLIST::~FONTLIST() {
  std::unique_ptr<FONTENTRY> entry = std::move(pFirstEntry);
  while (entry) entry = std::move(entry->pNext);
}

FONTENTRY* FindDownloadedFontW(const FONTLIST& list, uint32_t nFontId) {
  FONTENTRY* entry = list.pFirstEntry.get();
  for (uint32_t i = 0; i < list.nFonts && entry; ++i, entry = entry->pNext.get()) {
    if (entry->nFontId == nFontId) return entry;
  }
  return nullptr;
}

bool AppendFontEntry(FONTLIST& list) {
  std::unique_ptr<FONTENTRY> entry(new (std::nothrow) FONTENTRY);
  if (!entry) return false;
  std::unique_ptr<FONTENTRY>* link = &list.pFirstEntry;
  for (uint32_t i = 0; i < list.nFonts && *link; ++i) link = &(*link)->pNext;
  list.pLastEntry = entry.get();
  *link = std::move(entry);
  ++list.nFonts;
  return true;
}

void RemoveFontEntry(FONTLIST& list, const FONTENTRY* target) {
  std::unique_ptr<FONTENTRY>* link = &list.pFirstEntry;
  while (*link && link->get() != target) link = &(*link)->pNext;
  if (!*link) return;
  std::unique_ptr<FONTENTRY> removed = std::move(*link);
  *link = std::move(removed->pNext);
  if (list.pLastEntry == target) list.pLastEntry = nullptr;
  --list.nFonts;
}

bool RemoveFontEntry(FONTLIST& list, uint32_t nFontId) {
  const FONTENTRY* entry = FindDownloadedFontW(list, nFontId);
  if (!entry) return false;
  RemoveFontEntry(list, entry);
  return true;
}

}  // namespace tavrfndl
