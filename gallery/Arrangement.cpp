#include "gallery/Arrangement.h"

namespace vexa::gallery {

using namespace vexa::ui;

namespace {
int CeilDiv(int a, int b) { return a / b + (a % b > 0); }
}  // namespace

CArrangement::CArrangement() = default;
CArrangement::CArrangement(const CArrangement&) = default;
CArrangement& CArrangement::operator=(const CArrangement&) = default;
CArrangement::~CArrangement() = default;

void CArrangement::SetMode(int mode) {
  m_mode = mode;
  Arrange();
}

void CArrangement::Append(int id, int w, int h) {
  m_placements.emplace_back(id, 0, 0, w, h, 0, 0, 0, 0, 0, ZERO, TType(0), nullptr);
}

void CArrangement::InsertId(int id, int beforeId, int w, int h) {
  auto at = m_placements.begin();
  for (auto it = m_placements.begin(); it != m_placements.end(); ++it)
    if (it->m_id == beforeId) {
      at = it;
      break;
    }
  m_placements.insert(at, CPlacement(id, 0, 0, w, h, 0, 0, 0, 0, 0, ZERO, TType(0), nullptr));
}

void CArrangement::InsertMultipleId(std::vector<CPlacement>& items, int beforeId, int, int) {
  if (items.empty()) return;
  auto at = m_placements.end();
  for (auto it = m_placements.begin(); it != m_placements.end(); ++it)
    if (it->m_id == beforeId) {
      at = it;
      break;
    }
  m_placements.insert(at, items.begin(), items.end());
}

void CArrangement::Insert(int id, int x, int y, int w, int h, int row, double) {
  CPlacement p(id, x, y, w, h, 0, 0, 0, 0, row, ZERO, TType(0), nullptr);
  for (auto it = m_placements.begin(); it != m_placements.end(); ++it) {
    if (IsBefore(p, *it)) {
      m_placements.insert(it, p);
      return;
    }
  }
  m_placements.push_back(p);
}

void CArrangement::Delete(int id) {
  for (auto it = m_placements.begin(); it != m_placements.end(); ++it)
    if (it->m_id == id) {
      m_placements.erase(it);
      return;
    }
}

int CArrangement::GetId(int index) const {
  return index >= 0 && index < Num() ? m_placements[static_cast<std::size_t>(index)].m_id : -1;
}

CPlacement CArrangement::Placement(int index) const {
  return index >= 0 && index < Num() ? m_placements[static_cast<std::size_t>(index)] : CPlacement();
}

QRect CArrangement::Location(int id) const {
  for (const CPlacement& p : m_placements)
    if (p.m_id == id) return QRect(p.m_left, p.m_top, p.m_width, p.m_height);
  return QRect();
}

void CArrangement::GetScrollSize(QSize& total, QSize& page, QSize& line) const {
  total = m_total;
  page = m_page;
  line = m_line;
}

void CArrangement::Arrange() {
  const int n = Num();
  if (n == 0 || m_cellW <= 0 || m_cellH <= 0) return;
  m_total = QSize(1, 1);
  m_line = QSize(m_cellW, m_cellH);
  m_page = QSize(m_cellW * (m_viewW / m_cellW), m_cellH * (m_viewH / m_cellH));
  int columns = 1;
  if (m_mode == 1) {
    const long long w = static_cast<long long>(m_cellW) * n;
    int totalW = static_cast<int>(w);
    if (w > kLimit - 1) totalW = m_cellW * (kLimit / m_cellW);
    m_total = QSize(totalW, m_cellH * static_cast<int>(w / kLimit + 1));
    columns = kLimit / m_cellW;
  } else {
    // A grid (and, for a mode this layout does not know, the same).
    columns = std::max(1, m_viewW / m_cellW);
    int totalW = m_viewW;
    const int rows = kLimit / m_cellH;
    if (static_cast<long long>(columns) * rows < n) {
      columns = CeilDiv(n, std::max(1, rows));
      totalW = m_cellW * columns;
    }
    if (m_viewW < m_cellW) totalW = std::max(totalW, m_cellW * columns);
    m_total = QSize(totalW, m_cellH * CeilDiv(n, columns));
  }
  columns = std::max(1, columns);
  for (int i = 0; i < n; ++i) {
    CPlacement& p = m_placements[static_cast<std::size_t>(i)];
    p.m_left = m_cellW * (i % columns);
    p.m_top = m_cellH * (i / columns);
  }
}

void CArrangement::GridCenter(CPlacement& p) const {
  p.m_left = (m_cellW - p.m_width) / 2 + m_cellW * (p.m_left / m_cellW);
  p.m_top = (m_cellH - p.m_height) / 2 + m_cellH * (p.m_top / m_cellH);
}

bool CArrangement::IsBefore(const CPlacement& p, const CPlacement& q) const {
  const int rp = p.m_top / m_cellH, rq = q.m_top / m_cellH;
  if (rp != rq) return rp < rq;
  return q.m_left / m_cellW >= p.m_left / m_cellW;
}

int CArrangement::Which(int x, int y) const {
  const CPlacement probe(0, x, y, 1, 1, 0, 0, 0, 0, 0, ZERO, TType(0), nullptr);
  for (const CPlacement& p : m_placements)
    if (x < 0 || y < 0 || IsBefore(probe, p)) return p.m_id;
  return -1;
}

int CArrangement::WhichAfter(int x, int y) const {
  const CPlacement probe(0, x, y, 1, 1, 0, 0, 0, 0, 0, ZERO, TType(0), nullptr);
  for (std::size_t i = 0; i < m_placements.size(); ++i)
    if (x < 0 || y < 0 || IsBefore(probe, m_placements[i])) return i == 0 ? 0 : m_placements[i - 1].m_id;
  return -1;
}

CPlacement CArrangement::Next(const CPlacement& previous) {
  CPlacement next;
  int x = previous.m_left, y = previous.m_top, row = previous.m_extra;
  switch (m_mode) {
    case 0:
      x = previous.m_left + m_cellW;
      if (m_viewW < x + m_cellW) {
        if (y + 2 * m_cellH < kLimit + 1) {
          y += m_cellH;
          x = 0;
        } else if (x + m_cellW > kLimit) {
          return CPlacement();
        } else {
          y = 0;
        }
        ++row;
      }
      break;
    case 1:
      x = previous.m_left + m_cellW;
      if (m_total.width() < x) m_total.setWidth(x);
      if (x + m_cellW < kLimit + 1) {
        m_total.setHeight(y);
      } else {
        y = previous.m_top + m_cellH;
        if (y + m_cellH > kLimit) return CPlacement();
        x = 0;
        m_total.setHeight(y);
      }
      break;
    case 2:
      x = 0;
      y = previous.m_top + m_cellH;
      break;
    default:
      x = y = 0;
      break;
  }
  next.m_left = x;
  next.m_top = y;
  next.m_extra = row;
  return next;
}

}  // namespace vexa::gallery
