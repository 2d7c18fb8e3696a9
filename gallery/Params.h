// The payloads of the gallery's broadcast channels.
#pragma once

#include <string>

#include "gallery/GalleryExport.h"
#include "uicommon/common/Broadcast.h"

namespace vexa::gallery {

// A photo id and a number.
class VEXATHUMGALLERY_API CParamInt : public ui::CParameter {
 public:
  CParamInt(int photoId, int value) : ui::CParameter(photoId), m_value(value) {}
  ~CParamInt() override;
  int Value() const { return m_value; }

 private:
  int m_value;
};

// A photo id and a text.
class VEXATHUMGALLERY_API CParamString : public ui::CParameter {
 public:
  CParamString(int photoId, std::string text) : ui::CParameter(photoId), m_text(std::move(text)) {}
  ~CParamString() override;
  const std::string& Text() const { return m_text; }

 private:
  std::string m_text;
};

// A list of names: a length, a count and the names, each followed by a NUL,
// with one more NUL at the end.
class VEXATHUMGALLERY_API CParamNameStr : public ui::CParameter {
 public:
  CParamNameStr(int length, int count, std::string names)
      : m_length(length), m_count(count), m_names(std::move(names)) {}
  ~CParamNameStr() override;
  int Length() const { return m_length; }
  int Count() const { return m_count; }
  const std::string& Names() const { return m_names; }

 private:
  int m_length;
  int m_count;
  std::string m_names;
};

// A camera's answer about one photo: its id and a status (0: done).
class VEXATHUMGALLERY_API CParamCameraStatus : public ui::CParameter {
 public:
  CParamCameraStatus(int photoId, int status) : ui::CParameter(photoId), m_status(status) {}
  ~CParamCameraStatus() override;
  int Status() const { return m_status; }

 private:
  int m_status;
};

}  // namespace vexa::gallery
