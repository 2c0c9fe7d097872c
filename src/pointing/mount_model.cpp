// The mount model's forward map and its least-squares fit (Levenberg-
// Marquardt over at most eight sightings and eight parameters, on the stack).
#include "pointing/mount_model.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace ctl {
namespace {

struct Vec {
  double x = 0.0, y = 0.0, z = 0.0;
};

Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Cross(Vec a, Vec b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec Scaled(Vec a, double f) { return {a.x * f, a.y * f, a.z * f}; }
Vec Unit(Vec a) { return Scaled(a, 1.0 / std::sqrt(Dot(a, a))); }

Vec Apply(const Matrix3& m, Vec v) {
  return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z,
          m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
          m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
}

Vec FromSpherical(double longitude, double latitude) {
  return {std::cos(latitude) * std::cos(longitude), std::cos(latitude) * std::sin(longitude),
          std::sin(latitude)};
}

void ToSpherical(Vec v, double& longitude, double& latitude) {
  longitude = std::atan2(v.y, v.x);
  latitude = std::atan2(v.z, std::hypot(v.x, v.y));
}

// The terms of a model as one array, indexed by MountTerm.
struct Terms {
  double value[kMountTermCount] = {};
};

Terms TermsOf(const MountModel& m) {
  Terms t;
  t.value[kTermIndex] = m.index;
  t.value[kTermNonperpendicular] = m.nonperpendicularity;
  t.value[kTermCollimation] = m.collimation;
  t.value[kTermScale1] = m.scale1;
  t.value[kTermScale2] = m.scale2;
  return t;
}

// The tube's direction in the mount's frame, for the counters' turned angles.
Vec Tube(const Terms& t, double ref1, double ref2, double turned1, double turned2) {
  const double first = ref1 + (1.0 + t.value[kTermScale1]) * turned1;
  const double second = ref2 + (1.0 + t.value[kTermScale2]) * turned2 + t.value[kTermIndex];
  const double c = t.value[kTermCollimation];
  const double n = t.value[kTermNonperpendicular];
  // In the frame of the fork (the second axis along y): the tube turned by
  // the second angle about the second axis, and off square to it by c.
  const Vec fork{std::cos(c) * std::cos(second), std::sin(c), std::cos(c) * std::sin(second)};
  // The second axis off square to the first: the fork tilted about its x.
  const Vec tilted{fork.x, std::cos(n) * fork.y - std::sin(n) * fork.z,
                   std::sin(n) * fork.y + std::cos(n) * fork.z};
  // Turned about the first axis.
  return {std::cos(first) * tilted.x - std::sin(first) * tilted.y,
          std::sin(first) * tilted.x + std::cos(first) * tilted.y, tilted.z};
}

Vec Tube(const Terms& t, const MountSighting& s) {
  return Tube(t, s.ref1, s.ref2, s.turned1, s.turned2);
}

// ---- The fit ----------------------------------------------------------------

constexpr int kRotationParameters = 3;
constexpr int kMaxParameters = kRotationParameters + kMountTermCount;
constexpr int kMaxSightings = kCalibrationCapacity;
constexpr double kArcminute = kPi / (180.0 * 60.0);

// Sightings needed before a term is tried, and the largest expected
// uncertainty of its effect on a position (radians) for which it is
// admitted.  A scale error's effect is its uncertainty times half a turn,
// the farthest a counter runs from the middle of the sighted span.  The
// limits come from what a real mount carries: axes off square and
// collimation of 0.1 to 0.5° (7' is under half the usual 0.3°, so a term
// known that well corrects more than its uncertainty moves; on an
// equatorial mount six spread objects know the collimation to 5 to 7', as it
// trades against the squareness and the hour angle's zero), and counters
// 0.1 to 2% off scale (5' over half a turn is 0.03%, a twentieth of a
// belt-driven counter's usual error).  A term known worse than that moves positions more
// than it corrects them, so it is left out.  The rotation must be known to a
// degree, or the sightings are too close together to say where the mount
// points at all.
struct TermRule {
  int sightings;
  double lever;
  double limit;
};
constexpr TermRule kTermRules[kMountTermCount] = {
    /* index            */ {2, 1.0, 7.0 * kArcminute},
    /* nonperpendicular */ {3, 1.0, 7.0 * kArcminute},
    /* collimation      */ {3, 1.0, 7.0 * kArcminute},
    /* scale 1          */ {4, kPi, 5.0 * kArcminute},
    /* scale 2          */ {4, kPi, 5.0 * kArcminute},
};
constexpr double kRotationLimit = 60.0 * kArcminute;
// A normal matrix whose scaled inverse has a diagonal beyond this (the
// variance inflation of one parameter by the others) is singular in all but
// rounding.
constexpr double kMaxInflation = 1e10;

struct Problem {
  const MountSighting* sightings = nullptr;
  int count = 0;
  Vec target[kMaxSightings];
};

struct State3 {
  Matrix3 rotation;
  Terms terms;
};

// Which parameters take part: the three of the rotation always, then the
// admitted terms.
struct Active {
  bool term[kMountTermCount] = {};
  int Size() const {
    int size = kRotationParameters;
    for (bool t : term) size += t ? 1 : 0;
    return size;
  }
};

double Cost(const State3& s, const Problem& p) {
  double sum = 0.0;
  for (int i = 0; i < p.count; ++i) {
    const Vec r = Apply(s.rotation, Tube(s.terms, p.sightings[i])) - p.target[i];
    sum += Dot(r, r);
  }
  return sum;
}

// The normal matrix JᵀJ and the gradient Jᵀr of the residuals (predicted
// minus catalogue direction, three components a sighting).  The rotation's
// columns are exact (a small turn w moves R·t by R·(w × t)); the terms' by
// central differences.
struct NormalEquations {
  double a[kMaxParameters][kMaxParameters] = {};
  double g[kMaxParameters] = {};
};

NormalEquations Normal(const State3& s, const Problem& p, const Active& active) {
  const int m = active.Size();
  NormalEquations e;
  auto& a = e.a;
  auto& g = e.g;
  constexpr double kStep = 1e-6;
  for (int i = 0; i < p.count; ++i) {
    const MountSighting& sighting = p.sightings[i];
    const Vec tube = Tube(s.terms, sighting);
    const Vec residual = Apply(s.rotation, tube) - p.target[i];
    Vec column[kMaxParameters];
    column[0] = Apply(s.rotation, Cross({1.0, 0.0, 0.0}, tube));
    column[1] = Apply(s.rotation, Cross({0.0, 1.0, 0.0}, tube));
    column[2] = Apply(s.rotation, Cross({0.0, 0.0, 1.0}, tube));
    int k = kRotationParameters;
    for (int t = 0; t < kMountTermCount; ++t) {
      if (!active.term[t]) continue;
      Terms up = s.terms, down = s.terms;
      up.value[t] += kStep;
      down.value[t] -= kStep;
      column[k++] =
          Scaled(Apply(s.rotation, Tube(up, sighting) - Tube(down, sighting)), 1.0 / (2.0 * kStep));
    }
    for (int r = 0; r < m; ++r) {
      g[r] += Dot(column[r], residual);
      for (int c = 0; c < m; ++c) a[r][c] += Dot(column[r], column[c]);
    }
  }
  return e;
}

// Solves a·x = b by Cholesky for a symmetric positive definite a (m ≤ 8);
// false when a is not.  With `inverse_diagonal`, also the diagonal of a⁻¹.
bool SolveSymmetric(const double a[][kMaxParameters], const double b[], int m, double x[],
                    double* inverse_diagonal = nullptr) {
  double l[kMaxParameters][kMaxParameters] = {};
  for (int j = 0; j < m; ++j) {
    double d = a[j][j];
    for (int k = 0; k < j; ++k) d -= l[j][k] * l[j][k];
    if (!(d > 0.0) || !std::isfinite(d)) return false;
    l[j][j] = std::sqrt(d);
    for (int i = j + 1; i < m; ++i) {
      double v = a[i][j];
      for (int k = 0; k < j; ++k) v -= l[i][k] * l[j][k];
      l[i][j] = v / l[j][j];
    }
  }
  auto solve = [&](const double* rhs, double* out) {
    double y[kMaxParameters];
    for (int i = 0; i < m; ++i) {
      double v = rhs[i];
      for (int k = 0; k < i; ++k) v -= l[i][k] * y[k];
      y[i] = v / l[i][i];
    }
    for (int i = m - 1; i >= 0; --i) {
      double v = y[i];
      for (int k = i + 1; k < m; ++k) v -= l[k][i] * out[k];
      out[i] = v / l[i][i];
    }
  };
  solve(b, x);
  if (inverse_diagonal != nullptr) {
    for (int j = 0; j < m; ++j) {
      double e[kMaxParameters] = {}, column[kMaxParameters] = {};
      e[j] = 1.0;
      solve(e, column);
      inverse_diagonal[j] = column[j];
    }
  }
  return true;
}

// R·exp([w]×), the rotation turned by the small rotation vector w (Rodrigues).
void Turn(Matrix3& r, Vec w) {
  const double angle = std::sqrt(Dot(w, w));
  Matrix3 e = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
  if (angle > 0.0) {
    const Vec k = Scaled(w, 1.0 / angle);
    const double s = std::sin(angle), c = 1.0 - std::cos(angle);
    const Matrix3 kx = {{0.0, -k.z, k.y}, {k.z, 0.0, -k.x}, {-k.y, k.x, 0.0}};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        double kk = 0.0;
        for (int q = 0; q < 3; ++q) kk += kx[i][q] * kx[q][j];
        e[i][j] += s * kx[i][j] + c * kk;
      }
    }
  }
  Matrix3 out;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      out[i][j] = r[i][0] * e[0][j] + r[i][1] * e[1][j] + r[i][2] * e[2][j];
    }
  }
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i][j] = out[i][j];
  }
}

State3 Stepped(const State3& s, const Active& active, const double delta[]) {
  State3 next = s;
  Turn(next.rotation, {delta[0], delta[1], delta[2]});
  int k = kRotationParameters;
  for (int t = 0; t < kMountTermCount; ++t) {
    if (active.term[t]) next.terms.value[t] += delta[k++];
  }
  return next;
}

// Levenberg-Marquardt from s over the active parameters.
void Refine(State3& s, const Problem& p, const Active& active) {
  const int m = active.Size();
  double cost = Cost(s, p);
  double lambda = 1e-6;
  for (int iteration = 0; iteration < 100 && lambda < 1e12; ++iteration) {
    NormalEquations e = Normal(s, p, active);
    auto& a = e.a;
    auto& g = e.g;
    double delta[kMaxParameters];
    for (int r = 0; r < m; ++r) {
      a[r][r] *= 1.0 + lambda;
      g[r] = -g[r];
    }
    if (!SolveSymmetric(a, g, m, delta)) {
      lambda *= 10.0;
      continue;
    }
    const State3 next = Stepped(s, active, delta);
    const double next_cost = Cost(next, p);
    if (next_cost <= cost) {
      double size = 0.0;
      for (int r = 0; r < m; ++r) size += delta[r] * delta[r];
      s = next;
      const bool settled = size < 1e-24 || cost - next_cost <= 1e-15 * cost;
      cost = next_cost;
      lambda = std::fmax(lambda / 10.0, 1e-12);
      if (settled) break;
    } else {
      lambda *= 10.0;
    }
  }
}

// The expected uncertainty of each active parameter at the quantisation
// noise, from the normal matrix at s; false when the matrix is singular or
// a parameter is inflated past all use by the others.
bool Uncertainties(const State3& s, const Problem& p, const Active& active, double noise,
                   double sigma[]) {
  const int m = active.Size();
  NormalEquations e = Normal(s, p, active);
  auto& a = e.a;
  // Scaled to a unit diagonal, so that the inverse's diagonal is the
  // inflation of each parameter's variance by its correlation with others.
  double scale[kMaxParameters];
  for (int r = 0; r < m; ++r) {
    if (!(a[r][r] > 0.0)) return false;
    scale[r] = 1.0 / std::sqrt(a[r][r]);
  }
  for (int r = 0; r < m; ++r) {
    for (int c = 0; c < m; ++c) a[r][c] *= scale[r] * scale[c];
  }
  double x[kMaxParameters], inverse[kMaxParameters];
  if (!SolveSymmetric(a, e.g, m, x, inverse)) return false;
  for (int r = 0; r < m; ++r) {
    if (!(inverse[r] < kMaxInflation)) return false;
    sigma[r] = noise * std::sqrt(inverse[r]) * scale[r];
  }
  return true;
}

// Whether every active parameter is determined within its limit.
bool Determined(const State3& s, const Problem& p, const Active& active, double noise) {
  double sigma[kMaxParameters];
  if (!Uncertainties(s, p, active, noise, sigma)) return false;
  for (int r = 0; r < kRotationParameters; ++r) {
    if (sigma[r] > kRotationLimit) return false;
  }
  int k = kRotationParameters;
  for (int t = 0; t < kMountTermCount; ++t) {
    if (!active.term[t]) continue;
    if (sigma[k++] * kTermRules[t].lever > kTermRules[t].limit) return false;
  }
  return true;
}

// A first rotation from the two sightings farthest from parallel (the triad
// of Taki's method): each pair of directions spans the same orthonormal
// frame in the mount and in the fixed frame.  False when all sightings
// share one direction.
bool FirstRotation(const Problem& p, Matrix3& r) {
  const Terms none;
  int best_i = 0, best_j = 0;
  double best = 0.0;
  for (int i = 0; i < p.count; ++i) {
    for (int j = i + 1; j < p.count; ++j) {
      const Vec c = Cross(p.target[i], p.target[j]);
      if (Dot(c, c) > best) best = Dot(c, c), best_i = i, best_j = j;
    }
  }
  if (!(best > 1e-10)) return false;
  const Vec m1 = Unit(Tube(none, p.sightings[best_i]));
  const Vec m2 = Unit(Cross(m1, Tube(none, p.sightings[best_j])));
  const Vec m3 = Cross(m1, m2);
  const Vec s1 = Unit(p.target[best_i]);
  const Vec s2 = Unit(Cross(s1, p.target[best_j]));
  const Vec s3 = Cross(s1, s2);
  const Vec mount[3] = {m1, m2, m3};
  const Vec sky[] = {s1, s2, s3};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      r[i][j] = 0.0;
      for (int k = 0; k < 3; ++k) {
        const double sk[] = {sky[k].x, sky[k].y, sky[k].z};
        const double mk[] = {mount[k].x, mount[k].y, mount[k].z};
        r[i][j] += sk[i] * mk[j];
      }
    }
  }
  return std::isfinite(r[0][0]);
}

}  // namespace

void MountModelPosition(const MountModel& model, double ref1, double ref2, double turned1,
                        double turned2, double& longitude, double& latitude) {
  ToSpherical(Apply(model.rotation, Tube(TermsOf(model), ref1, ref2, turned1, turned2)), longitude,
              latitude);
}

MountFit FitMountModel(const MountSighting* sightings, int count, double noise) {
  MountFit fit;
  if (count < 2) return fit;
  count = std::min(count, kMaxSightings);
  Problem p;
  p.sightings = sightings;
  p.count = count;
  for (int i = 0; i < count; ++i) {
    const MountSighting& s = sightings[i];
    for (double v : {s.ref1, s.ref2, s.turned1, s.turned2, s.longitude, s.latitude}) {
      if (!std::isfinite(v)) {
        fit.outcome = MountFitOutcome::kNotFinite;
        return fit;
      }
    }
    p.target[i] = FromSpherical(s.longitude, s.latitude);
  }

  State3 s;
  fit.outcome = MountFitOutcome::kUndetermined;
  if (!FirstRotation(p, s.rotation)) return fit;
  Active active;
  Refine(s, p, active);
  if (!Determined(s, p, active, noise)) return fit;

  // The sightings each term asks for keep every fit within two parameters a
  // sighting, the two angles each one fixes.
  for (int t = 0; t < kMountTermCount; ++t) {
    if (count < kTermRules[t].sightings) continue;
    Active candidate = active;
    candidate.term[t] = true;
    if (!Determined(s, p, candidate, noise)) continue;
    State3 trial = s;
    Refine(trial, p, candidate);
    if (!std::isfinite(Cost(trial, p))) continue;
    active = candidate;
    s = trial;
  }

  fit.outcome = MountFitOutcome::kFitted;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) fit.model.rotation[i][j] = s.rotation[i][j];
  }
  fit.model.index = s.terms.value[kTermIndex];
  fit.model.nonperpendicularity = s.terms.value[kTermNonperpendicular];
  fit.model.collimation = s.terms.value[kTermCollimation];
  fit.model.scale1 = s.terms.value[kTermScale1];
  fit.model.scale2 = s.terms.value[kTermScale2];
  for (int t = 0; t < kMountTermCount; ++t) fit.admitted[t] = active.term[t];
  fit.rms = std::sqrt(Cost(s, p) / count);
  return fit;
}

}  // namespace ctl
