// Richards columns against an independent fine-grid solution of ponded
// infiltration, into a uniform loam and into a fine layer over a coarse one.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "richards_soils.hpp"
#include "soil/richards.hpp"
#include "soil/richards_relations.hpp"

namespace torva {
namespace {

using test::Column;
using test::soil_table;

// An independent solution of ponded infiltration: a 1 mm grid, the head form
// of the equation solved fully implicitly by Newton's method with a
// finite-difference Jacobian, arithmetic face means, the surface held at the
// ponded head and free drainage at the bottom; time steps grow from 1 ms.
struct FineGridReference {
    std::vector<RichardsLayer> layer;  // per node
    double dz;
    double ponded;
    std::vector<double> h, theta_old;
    double infiltrated = 0.0;

    FineGridReference(const std::vector<RichardsLayer>& layers, double depth, double dz_,
                      double ponded_)
        : dz(dz_), ponded(ponded_) {
        const int n = static_cast<int>(std::lround(depth / dz));
        double top = 0.0;
        std::size_t k = 0;
        for (int i = 0; i < n; ++i) {
            const double z = (i + 0.5) * dz;
            while (k + 1 < layers.size() && z > top + layers[k].thickness)
                top += layers[k++].thickness;
            layer.push_back(layers[k]);
        }
        for (const RichardsLayer& l : layer)
            h.push_back(head_of_theta(SoilWaterRelation::brooks_corey, l, l.theta_i));
    }
    SoilWaterState at(int i, double head) const { return brooks_corey(layer[i], head); }
    double k(int i, double head) const { return layer[i].conductivity * at(i, head).k_relative; }
    double surface_flux(const std::vector<double>& x) const {
        return 0.5 * (layer[0].conductivity + k(0, x[0])) * (1.0 - (x[0] - ponded) / (0.5 * dz));
    }
    void residual(const std::vector<double>& x, double dt, std::vector<double>& r) const {
        const int n = static_cast<int>(x.size());
        std::vector<double> q(n + 1);
        q[0] = surface_flux(x);
        for (int i = 1; i < n; ++i)
            q[i] = 0.5 * (k(i - 1, x[i - 1]) + k(i, x[i])) * (1.0 - (x[i] - x[i - 1]) / dz);
        q[n] = k(n - 1, x[n - 1]);
        for (int i = 0; i < n; ++i)
            r[i] = dz * (at(i, x[i]).theta - theta_old[i]) / dt - q[i] + q[i + 1];
    }
    bool newton(double dt) {
        const int n = static_cast<int>(h.size());
        std::vector<double> x = h, r(n), rp(n), a(n), b(n), c(n);
        for (int iteration = 0; iteration < 30; ++iteration) {
            residual(x, dt, r);
            for (int colour = 0; colour < 3; ++colour) {
                std::vector<double> xp = x;
                for (int j = colour; j < n; j += 3) xp[j] += 1e-7 * std::max(std::fabs(x[j]), 0.01);
                residual(xp, dt, rp);
                for (int j = colour; j < n; j += 3) {
                    const double e = xp[j] - x[j];
                    b[j] = (rp[j] - r[j]) / e;
                    if (j > 0)
                        c[j - 1] = (rp[j - 1] - r[j - 1]) / e;
                    if (j + 1 < n)
                        a[j + 1] = (rp[j + 1] - r[j + 1]) / e;
                }
            }
            for (int i = 1; i < n; ++i) {
                const double m = a[i] / b[i - 1];
                b[i] -= m * c[i - 1];
                r[i] -= m * r[i - 1];
            }
            r[n - 1] /= b[n - 1];
            for (int i = n - 2; i >= 0; --i) r[i] = (r[i] - c[i] * r[i + 1]) / b[i];
            double worst = 0.0;
            for (int i = 0; i < n; ++i) {
                x[i] -= r[i];
                worst = std::max(worst, std::fabs(r[i]) / (1.0 + std::fabs(x[i])));
            }
            if (!std::isfinite(worst))
                return false;
            if (worst < 1e-10) {
                h = x;
                return true;
            }
        }
        return false;
    }
    void run_until(double end) {
        double t = 0.0, dt = 1e-3;
        while (t < end) {
            dt = std::min(dt, end - t);
            theta_old.clear();
            for (int i = 0; i < static_cast<int>(h.size()); ++i)
                theta_old.push_back(at(i, h[i]).theta);
            const std::vector<double> before = h;
            if (!newton(dt)) {
                h = before;
                dt *= 0.5;
                ASSERT_GT(dt, 1e-8);
                continue;
            }
            infiltrated += surface_flux(h) * dt;
            t += dt;
            dt = std::min(dt * 1.3, 2.0);
        }
    }
    double front(double theta_i, double theta_s) const {
        const double mid = 0.5 * (theta_i + theta_s);
        for (int i = 1; i < static_cast<int>(h.size()); ++i) {
            const double t0 = at(i - 1, h[i - 1]).theta, t1 = at(i, h[i]).theta;
            if (t1 < mid && t0 >= mid)
                return (i - 0.5) * dz + dz * (t0 - mid) / (t0 - t1);
        }
        return 0.0;
    }
};

// Keeps `ponded` metres of water on the column for `minutes`, a step of 60 s.
double ponded_run(Column& c, double ponded, int minutes) {
    double infiltrated = 0.0;
    const double before = c.water();
    double drained = 0.0;
    for (int s = 0; s < minutes; ++s) {
        const ColumnStepResult r = c.step(ponded, 60.0);
        EXPECT_FALSE(r.failed);
        infiltrated += r.infiltrated;
        drained += r.drained;
        EXPECT_NEAR(r.surface_left, ponded - r.infiltrated, 1e-15);
    }
    // The column holds what came in and did not drain, to round-off.
    EXPECT_NEAR(c.water() - before, infiltrated - drained, 1e-13);
    return infiltrated;
}

// The fine-grid solution on 2 mm and 1 mm grids, extrapolated to a grid of
// no spacing (its error falls in proportion to the spacing): the cumulative
// infiltration and the depth of the wetting front at `seconds`.
std::pair<double, double> reference(const std::vector<RichardsLayer>& layers, double depth,
                                    double ponded, double seconds) {
    FineGridReference coarse(layers, depth, 0.002, ponded), fine(layers, depth, 0.001, ponded);
    coarse.run_until(seconds);
    fine.run_until(seconds);
    const double ti = layers[0].theta_i, ts = layers[0].theta_s;
    return {2.0 * fine.infiltrated - coarse.infiltrated,
            2.0 * fine.front(ti, ts) - coarse.front(ti, ts)};
}

// Ponded infiltration (1 cm of water kept on the surface) into a dry loam,
// columns of 1 mm nodes.
TEST(RichardsColumn, PondedInfiltrationIntoLoamMatchesTheFineGridSolution) {
    Column c(soil_table("1.32 0.434 0.027 0.10 0.22 11.15 25 0.12 0.27 0.1 1"), 20);
    const double f = ponded_run(c, 0.01, 60);
    const auto [f_ref, front] = reference({c.type().layers[0]}, 0.2, 0.01, 3600.0);
    EXPECT_NEAR(f, f_ref, 0.01 * f_ref);
    EXPECT_NEAR(c.front(), front, 0.01 * front + 0.001);
    EXPECT_GT(front, 0.1);
}

// 6 cm of silt loam over sand under 2 cm of water: the front stalls at the
// sand until the silt loam above it is nearly saturated.
TEST(RichardsColumn, FineOverCoarseLayersMatchTheFineGridSolution) {
    Column c(soil_table("0.68 0.486 0.015 0.12 0.211 20.76 6 0.13 0.33 0.1 1",
                        "21.0 0.417 0.020 0.05 0.592 7.26 19 0.03 0.09 0.1 0"),
             20);
    const double f = ponded_run(c, 0.02, 60);
    const auto [f_ref, front] =
        reference({c.type().layers[0], c.type().layers[1]}, 0.2, 0.02, 3600.0);
    EXPECT_NEAR(f, f_ref, 0.01 * f_ref);
    EXPECT_NEAR(c.front(), front, 0.01 * front + 0.001);
}

}  // namespace
}  // namespace torva
