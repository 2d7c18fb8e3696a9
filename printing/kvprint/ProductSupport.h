// What the three print products share: reading photos from a collection,
// opening a PDF document sized for its content, and finishing it with the
// writer's failure reported as the product's.
#pragma once

#include <string>

#include "printing/kvprint/Kvprint.h"
#include "printing/pdfwriter/PdfWriter.h"

namespace vexa::kvprint {

std::string U8(BSTR s);
com::Bstr B(std::string_view utf8);

// Number of photos in a collection (0 without one or when Count fails).
long CountOf(IImageCollection* collection);
// Photo i of a collection as IImage (null when it is not one).
com::ComPtr<IImage> PhotoAt(IImageCollection* collection, long i);

struct PhotoInfo {
  std::string thumbnail, normalized;
  long thumbWidth = 0, thumbHeight = 0, normalWidth = 0, normalHeight = 0;
};
bool ReadPhoto(IImage* image, PhotoInfo* info);

// A document at `path` with compressed contents and limits for `pages`
// pages and `images` pictures; null (with the writer's message in *why)
// when it cannot be started.
pdf::PdfContextPtr OpenDocument(const std::string& path, int pages, int images, std::string* why);
// Writes the document; false with the writer's message when it fails.
bool WriteDocument(pdf::PdfContext* ctx, std::string* why);

// The checks every GeneratePDF makes before it draws: photos to print, and
// no more than the image limit. "" when they pass, else the message tail.
std::string CheckPhotoCount(long count);

// The MediaBox text and page size of a layout.
const char* MediaBox(long layout);
float PageWidth(long layout);
float PageHeight(long layout);

// Places a JPEG in points: width or height 0 is derived from the picture.
// False when the writer refused the file (the element is then left out).
bool PlaceJpeg(pdf::PdfContext* ctx, const std::string& path, double x, double y, double angle, double width,
               double height);

}  // namespace vexa::kvprint
