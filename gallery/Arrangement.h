// Where each thumbnail cell of the gallery lies in document coordinates,
// the gallery's scroll sizes, and which photo lies at a point. No
// coordinate of the layout exceeds 32000.
#pragma once

#include <QRect>
#include <QSize>
#include <vector>

#include "gallery/GalleryExport.h"
#include "uicommon/common/Placement.h"

namespace vexa::gallery {

class VEXATHUMGALLERY_API CArrangement {
 public:
  static constexpr int kLimit = 32000;
  CArrangement();
  CArrangement(const CArrangement&);
  CArrangement& operator=(const CArrangement&);
  virtual ~CArrangement();

  void SetViewSize(int width, int height) {
    m_viewW = width;
    m_viewH = height;
  }
  void SetCellSize(int width, int height) {
    m_cellW = width;
    m_cellH = height;
  }
  QSize CellSize() const { return QSize(m_cellW, m_cellH); }
  QSize ViewSize() const { return QSize(m_viewW, m_viewH); }
  int Mode() const { return m_mode; }
  // 0 grid, 1 strip (2, one column, is known to Next only).
  void SetMode(int mode);

  void Append(int id, int w, int h);
  void InsertId(int id, int beforeId, int w, int h);
  void InsertMultipleId(std::vector<ui::CPlacement>& items, int beforeId, int w, int h);
  void Insert(int id, int x, int y, int w, int h, int row, double unused);
  void Delete(int id);
  void Clear() { m_placements.clear(); }
  int Num() const { return static_cast<int>(m_placements.size()); }
  int GetId(int index) const;
  ui::CPlacement Placement(int index) const;
  QRect Location(int id) const;
  void GetScrollSize(QSize& total, QSize& page, QSize& line) const;
  void Arrange();
  void GridCenter(ui::CPlacement& p) const;
  int Which(int x, int y) const;
  int WhichAfter(int x, int y) const;
  ui::CPlacement Next(const ui::CPlacement& previous);
  bool IsBefore(const ui::CPlacement& p, const ui::CPlacement& q) const;

 private:
  int m_viewW = 116, m_viewH = 142;
  int m_cellW = 116, m_cellH = 142;
  std::vector<ui::CPlacement> m_placements;
  int m_mode = 0;
  QSize m_total{1, 1}, m_page{1, 1}, m_line{1, 1};
};

}  // namespace vexa::gallery
