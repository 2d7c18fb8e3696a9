// Colour and path operators, graphics state, transforms and plot domains.
#include <cmath>

#include "printing/pdfwriter/NumberFormat.h"
#include "printing/pdfwriter/PdfInternal.h"

namespace vexa::pdf {
namespace {

// Writes the values with the given precision, each followed by a blank,
// then the operator and a line feed.
void Op(PdfContext* ctx, std::initializer_list<double> values, int precision, const char* op) {
  ctx->line.clear();
  for (double v : values) {
    AppendFixed(ctx->line, v, precision);
    ctx->line += ' ';
  }
  ctx->line += op;
  ctx->line += '\n';
  EmitLine(ctx);
}

struct StepRow {
  int top, minor, major;
};
constexpr StepRow kSteps[14] = {{10, 1, 5},   {12, 1, 4},   {15, 1, 5},   {16, 1, 4},   {20, 1, 5},
                                {25, 1, 5},   {30, 2, 10},  {35, 5, 10},  {40, 5, 10},  {50, 5, 10},
                                {60, 10, 20}, {80, 10, 20}, {90, 10, 30}, {100, 10, 50}};

PdfAxisTicks ComputeTicks(double min, double max) {
  PdfAxisTicks t;
  const double g = std::max(std::fabs(min), std::fabs(max));
  if (!(g > 0) || !std::isfinite(g) || !(max > min)) {
    t.start = min;
    t.end = max;
    return t;
  }
  const int e = static_cast<int>(std::floor(std::log10(g)));
  double m = g / std::pow(10.0, e);
  if (m >= 10) m /= 10;  // guard against rounding at exact powers
  const double l = std::ceil(10 * m - 1e-9);
  const StepRow* row = &kSteps[0];
  for (const StepRow& r : kSteps) {
    if (r.top >= l) {
      row = &r;
      break;
    }
  }
  const double P = std::pow(10.0, e - 1);
  const double top = row->top * P;
  t.minor = row->minor * P;
  t.major = row->major * P;
  const double eps = t.major * 1e-9;
  if (min >= 0 && max > 0) {
    t.end = top;
    double s = top;
    while (s > min + eps) s -= t.major;
    t.start = s;
  } else if (max <= 0) {
    // Below zero: the mirror image of the positive case.
    t.start = -top;
    double s = -top;
    while (s < max - eps) s += t.major;
    t.end = s;
  } else {
    double s = 0;
    while (s > min + eps) s -= t.major;
    t.start = s;
    double u = 0;
    while (u < max - eps) u += t.major;
    t.end = u;
  }
  return t;
}

double MapAxis(double v, double origin, double length, double lo, double hi, double scale, bool log) {
  if (log) {
    if (v <= 0 || lo <= 0 || hi <= 0 || hi == lo) return origin;
    return origin + (std::log10(v) - std::log10(lo)) / (std::log10(hi) - std::log10(lo)) * length;
  }
  return origin + (v - lo) * scale;
}

double XScale(const PlotDomain& d) { return d.xmax != d.xmin ? d.width / (d.xmax - d.xmin) : 0; }
double YScale(const PlotDomain& d) { return d.ymax != d.ymin ? d.height / (d.ymax - d.ymin) : 0; }

}  // namespace

PlotDomain* NewDomain(PdfContext* ctx, double x, double y, double width, double height, double xmin, double xmax,
                      double ymin, double ymax, bool xLog, bool yLog) {
  auto d = std::make_unique<PlotDomain>();
  d->x = x;
  d->y = y;
  d->width = width;
  d->height = height;
  d->xmin = xmin;
  d->xmax = xmax;
  d->ymin = ymin;
  d->ymax = ymax;
  d->xLog = xLog;
  d->yLog = yLog;
  d->xTicks = ComputeTicks(xmin, xmax);
  d->yTicks = ComputeTicks(ymin, ymax);
  ctx->domains.push_back(std::move(d));
  return ctx->domains.back().get();
}

void cpdf_setGrayFill(PdfContext* ctx, double gray) { Op(ctx, {gray}, 4, "g"); }
void cpdf_setGrayStroke(PdfContext* ctx, double gray) { Op(ctx, {gray}, 4, "G"); }
void cpdf_setGray(PdfContext* ctx, double gray) {
  cpdf_setGrayFill(ctx, gray);
  cpdf_setGrayStroke(ctx, gray);
}
void cpdf_setRgbFill(PdfContext* ctx, double r, double g, double b) { Op(ctx, {r, g, b}, 4, "rg"); }
void cpdf_setRgbStroke(PdfContext* ctx, double r, double g, double b) { Op(ctx, {r, g, b}, 4, "RG"); }
void cpdf_setRgbColor(PdfContext* ctx, double r, double g, double b) {
  cpdf_setRgbFill(ctx, r, g, b);
  cpdf_setRgbStroke(ctx, r, g, b);
}

void cpdf_moveTo(PdfContext* ctx, double x, double y) {
  ctx->curX = x;
  ctx->curY = y;
  Op(ctx, {x, y}, 3, "m");
}

void cpdf_lineTo(PdfContext* ctx, double x, double y) {
  ctx->curX = x;
  ctx->curY = y;
  Op(ctx, {x, y}, 3, "l");
}

void cpdf_curveTo(PdfContext* ctx, double x1, double y1, double x2, double y2, double x3, double y3) {
  ctx->curX = x3;
  ctx->curY = y3;
  Op(ctx, {x1, y1, x2, y2, x3, y3}, 3, "c");
}

void cpdf_rectangle(PdfContext* ctx, double x, double y, double w, double h) { Op(ctx, {x, y, w, h}, 3, "re"); }
void cpdf_closePath(PdfContext* ctx) { Op(ctx, {}, 0, "h"); }
void cpdf_strokePath(PdfContext* ctx) { Op(ctx, {}, 0, "S"); }
void cpdf_fillPath(PdfContext* ctx) { Op(ctx, {}, 0, "f"); }

void cpdf_saveState(PdfContext* ctx) {
  ctx->line = "\nq\n";
  EmitLine(ctx);
}

void cpdf_restoreState(PdfContext* ctx) {
  ctx->line = "Q\n";
  EmitLine(ctx);
}

void cpdf_setDash(PdfContext* ctx, std::string_view dash) {
  ctx->line.assign(dash);
  ctx->line += " d\n";
  EmitLine(ctx);
}

void cpdf_concatMatrix(PdfContext* ctx, double a, double b, double c, double d, double e, double f) {
  Op(ctx, {a, b, c, d, e, f}, 4, "cm");
}

void cpdf_translateOrigin(PdfContext* ctx, double x, double y) { cpdf_concatMatrix(ctx, 1, 0, 0, 1, x, y); }

void cpdf_rotateAxes(PdfContext* ctx, double degrees) {
  const double r = degrees * kDegToRad;
  cpdf_concatMatrix(ctx, std::cos(r), std::sin(r), -std::sin(r), std::cos(r), 0, 0);
}

void cpdf_setLineWidth(PdfContext* ctx, double width) { Op(ctx, {width}, 4, "w"); }

void cpdf_drawCircle(PdfContext* ctx, double x, double y, double r) {
  const double k = 0.552 * r;
  cpdf_moveTo(ctx, x + r, y);
  cpdf_curveTo(ctx, x + r, y + k, x + k, y + r, x, y + r);
  cpdf_curveTo(ctx, x - k, y + r, x - r, y + k, x - r, y);
  cpdf_curveTo(ctx, x - r, y - k, x - k, y - r, x, y - r);
  cpdf_curveTo(ctx, x + k, y - r, x + r, y - k, x + r, y);
  cpdf_closePath(ctx);
}

PlotDomain* cpdf_createPlotDomain(PdfContext* ctx, double x, double y, double width, double height, double xmin,
                                  double xmax, double ymin, double ymax, bool xLog, bool yLog) {
  return NewDomain(ctx, x, y, width, height, xmin, xmax, ymin, ymax, xLog, yLog);
}

PlotDomain* cpdf_setPlotDomain(PdfContext* ctx, PlotDomain* domain) {
  PlotDomain* old = ctx->domain;
  ctx->domain = domain;
  return old;
}

PdfAxisTicks cpdf_domainTicks(const PlotDomain* domain, bool yAxis) {
  if (!domain) return {};
  return yAxis ? domain->yTicks : domain->xTicks;
}

double cpdf_mapX(PdfContext* ctx, double x) {
  const PlotDomain* d = ctx->domain;
  if (!d) {
    Report(ctx, 2, kSource, "Plot domain has not been set. See cpdf_setPlotDomain()");
    return 0;
  }
  return MapAxis(x, d->x, d->width, d->xmin, d->xmax, XScale(*d), d->xLog);
}

double cpdf_mapY(PdfContext* ctx, double y) {
  const PlotDomain* d = ctx->domain;
  if (!d) {
    Report(ctx, 1, kSource, "Plot domain has not been set. See cpdf_setPlotDomain()");
    return 0;
  }
  return MapAxis(y, d->y, d->height, d->ymin, d->ymax, YScale(*d), d->yLog);
}

void cpdf_moveToInDomain(PdfContext* ctx, double x, double y) { cpdf_moveTo(ctx, cpdf_mapX(ctx, x), cpdf_mapY(ctx, y)); }
void cpdf_lineToInDomain(PdfContext* ctx, double x, double y) { cpdf_lineTo(ctx, cpdf_mapX(ctx, x), cpdf_mapY(ctx, y)); }

void cpdf_rectangleInDomain(PdfContext* ctx, double x, double y, double w, double h) {
  const double x0 = cpdf_mapX(ctx, x), y0 = cpdf_mapY(ctx, y);
  const double x1 = cpdf_mapX(ctx, x + w), y1 = cpdf_mapY(ctx, y + h);
  cpdf_rectangle(ctx, x0, y0, x1 - x0, y1 - y0);
}

void cpdf_drawCircleInDomain(PdfContext* ctx, double x, double y, double r) {
  const double cx = cpdf_mapX(ctx, x), cy = cpdf_mapY(ctx, y);
  const double rx = cpdf_mapX(ctx, x + r) - cx;
  cpdf_drawCircle(ctx, cx, cy, rx);
}

void cpdf_drawMesh(PdfContext* ctx) {
  const PlotDomain* d = ctx->domain;
  if (!d) {
    Report(ctx, 2, kSource, "Plot domain has not been set. See cpdf_setPlotDomain()");
    return;
  }
  cpdf_saveState(ctx);
  cpdf_setDash(ctx, d->meshDash);
  cpdf_setLineWidth(ctx, d->meshLineWidth);
  auto lines = [&](const PdfAxisTicks& t, bool vertical) {
    if (!(t.major > 0)) return;
    const double eps = t.major * 1e-9;
    const double lo = vertical ? d->xmin : d->ymin, hi = vertical ? d->xmax : d->ymax;
    for (double v = t.start; v <= t.end + eps; v += t.major) {
      if (v < lo - eps || v > hi + eps) continue;
      if (vertical) {
        cpdf_moveTo(ctx, cpdf_mapX(ctx, v), d->y);
        cpdf_lineTo(ctx, cpdf_mapX(ctx, v), d->y + d->height);
      } else {
        cpdf_moveTo(ctx, d->x, cpdf_mapY(ctx, v));
        cpdf_lineTo(ctx, d->x + d->width, cpdf_mapY(ctx, v));
      }
    }
  };
  lines(d->xTicks, true);
  lines(d->yTicks, false);
  cpdf_strokePath(ctx);
  cpdf_restoreState(ctx);
}

}  // namespace vexa::pdf
