// The three Green and Ampt methods, each one parallel loop over the cells in
// which every iteration writes only its own cell. The soil parameters of a cell
// are read into locals of the iteration, so every thread has its own.

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "core/parallel.hpp"
#include "soil/infiltration.hpp"

namespace torva {
namespace {

// Below this overland depth a cell has nothing to infiltrate.
constexpr double kDryDepth = 1e-10;
// Weight of the capillary term in the redistribution of the first front.
constexpr double kCapillaryWeight = 1.0;
// Newton iterations allowed to the layered method before it gives up.
constexpr int kLayeredIterationLimit = 100;
constexpr double kLayeredTolerance = 0.0001;  // cm

// Brooks-Corey relations of one cell for the redistributing front.
struct BrooksCorey {
    double ks;   // m/s
    double psi;  // m
    double lambda;
    double theta_r;
    double theta_s;

    double effective_saturation(double theta) const {
        const double range = theta_s - theta_r;
        if (range <= 0.0)
            return 1.0;
        return std::clamp((theta - theta_r) / range, 0.0, 1.0);
    }
    // Se^(3 + k/lambda); a non-positive lambda leaves only saturated soil conducting.
    double power(double se, double k) const {
        if (lambda <= 0.0)
            return se >= 1.0 ? 1.0 : 0.0;
        return std::pow(se, 3.0 + k / lambda);
    }
    double conductivity(double theta) const { return ks * power(effective_saturation(theta), 2.0); }
    // Capillary drive between theta_i and theta_0; psi itself once theta_i is
    // saturated, where the quotient has no meaning.
    double capillary_drive(double theta_i, double theta_0) const {
        const double si = power(effective_saturation(theta_i), 1.0);
        if (effective_saturation(theta_i) >= 1.0)
            return psi;
        const double s0 = power(effective_saturation(theta_0), 1.0);
        return psi * (s0 - si) / (1.0 - si);
    }
    // Change of theta_0 over dt of a front holding the depth f1 above theta_i,
    // fed at the rate r.
    double front_change(double theta_i, double theta_0, double f1, double r, double dt) const {
        const double excess = theta_0 - theta_i;
        return dt * excess / f1 *
               (r - conductivity(theta_i) - conductivity(theta_0) -
                kCapillaryWeight * ks * capillary_drive(theta_i, theta_0) * excess / f1);
    }
};

// Runs the infiltration step of every cell (or of the cells of `visit`, when
// known, outside which a step would change nothing) and, in the same pass,
// adds what entered the soil to the cumulative and per-event depths and the
// volume totals (sums of fixed blocks of cells, the same for any thread
// count). A cell step returns false when it cannot go on; the first such cell
// is returned, 0 when none.
template <class CellStep>
int infiltrate_cells(Model& model, CellStep&& cell_step, const RowSpans& visit = RowSpans{}) {
    Soil& soil = model.soil;
    const int n = model.grid.num_cells;
    // Redistribution keeps its event depth in F itself.
    const bool per_event = model.project.infiltration != InfiltrationMethod::redistribution;
    const double* infiltrated = soil.infiltrated_depth.data();
    double* cumulative = soil.cumulative_depth.data();
    double* event = soil.event_depth.data();
    // What entered the soil, m summed over cells, and the first cell that failed.
    struct Sums {
        double depth = 0.0;
        int first_failure = std::numeric_limits<int>::max();
        Sums& operator+=(const Sums& other) {
            depth += other.depth;
            first_failure = std::min(first_failure, other.first_failure);
            return *this;
        }
    };
    const Sums sums = ordered_span_sums<Sums>(
        visit, model.overland.row_begin, 1, n, n > kSerialCells, [&](int i, Sums& s) {
            const double before = infiltrated[i];
            if (!cell_step(i)) {
                s.first_failure = std::min(s.first_failure, i);
                return;
            }
            const double change = infiltrated[i] - before;
            if (change == 0.0)
                return;
            s.depth += change;
            cumulative[i] += change;
            if (per_event)
                event[i] += change;
        });
    const double depth_sum = sums.depth;
    const int first_failure = sums.first_failure;
    const double volume = depth_sum * model.grid.cell_size * model.grid.cell_size;
    model.totals.run.infiltration += volume;
    model.totals.event.infiltration += volume;
    return first_failure <= n ? first_failure : 0;
}

}  // namespace

double green_ampt_rate(double conductivity, double capillary_drive, double infiltrated, double dt) {
    // The Green and Ampt rate K (1 + psi dtheta / F) taken at the middle of the
    // step, F + f dt / 2, solved for the mean rate f of the step.
    const double kdt = conductivity * dt;
    const double b = kdt - 2.0 * infiltrated;
    return (b + std::sqrt(b * b + 8.0 * kdt * (capillary_drive + infiltrated))) / (2.0 * dt);
}

void plain_green_ampt(Model& model, double dt) {
    Soil& soil = model.soil;
    double* depth = model.overland.depth.data();
    double* infiltrated = soil.infiltrated_depth.data();
    double* rate = soil.infiltration_rate.data();
    const double* ks = soil.conductivity.data();
    const double* psi = soil.capillary_head.data();
    const double* deficit = soil.moisture.data();
    const double* factor =
        soil.conductivity_factor.empty() ? nullptr : soil.conductivity_factor.data();
    // Where the water table stands at the surface the soil is saturated.
    const int* saturated =
        soil.water_table_at_surface.empty() ? nullptr : soil.water_table_at_surface.data();
    // A cell without water takes nothing in and reports a rate of 0: only
    // the cells that may hold water, and those left a rate by the last step,
    // change.
    RowSpans& visit = soil.infiltrating;
    widen_spans(visit, model.overland.water);

    infiltrate_cells(
        model,
        [&](int i) {
            double h = depth[i];
            if (h < kDryDepth || (saturated && saturated[i] == 1)) {
                rate[i] = 0.0;
                return true;
            }
            double f = green_ampt_rate(ks[i], psi[i] * deficit[i], infiltrated[i], dt);
            if (factor)
                f *= factor[i];
            if (f * dt >= h) {
                f = h / dt;
                h = 0.0;
            } else {
                h -= f * dt;
            }
            depth[i] = h;
            infiltrated[i] += f * dt;
            rate[i] = f * kMetresPerSecondToCmPerHour;
            return true;
        },
        visit);
    copy_spans(visit, model.overland.water);
}

void green_ampt_with_redistribution(Model& model, double dt) {
    Soil& soil = model.soil;
    const int step = soil.step;
    const bool check_frozen = model.run.long_term && !soil.frozen_ground_index.empty();
    const bool check_lakes = !soil.lake_cell.empty();
    const bool check_water_table = !soil.water_table_at_surface.empty();
    const bool use_factor = !soil.conductivity_factor.empty();

    infiltrate_cells(model, [&](int i) {
        if (check_lakes && soil.lake_cell[i])
            return true;
        if (check_frozen && soil.frozen_ground_index[i] > kFrozenGroundIndex)
            return true;
        const BrooksCorey bc{soil.conductivity[i], soil.capillary_head[i], soil.pore_index[i],
                             soil.residual_saturation[i], soil.porosity[i]};
        const double theta_s = bc.theta_s;
        if (check_water_table && soil.water_table_at_surface[i] == 1) {
            soil.front_moisture[i] = theta_s;
            return true;
        }
        const double theta_i = soil.moisture[i];
        const double k_eff = use_factor ? bc.ks * soil.conductivity_factor[i] : bc.ks;

        double& h = model.overland.depth[i];
        double& f_total = soil.infiltrated_depth[i];
        double& f1 = soil.first_front_depth[i];
        double& theta_0 = soil.front_moisture[i];
        double& theta = soil.surface_moisture[i];
        int& phase = soil.front_phase[i];
        int& wet = soil.wet_marker[i];
        int& ponded = soil.first_ponding_marker[i];
        int& no_front = soil.no_front_marker[i];
        double& reported = soil.infiltration_rate[i];
        const double supply = h / dt;

        if (step < 2)
            theta_0 = theta = theta_i;

        // Still no front and the soil takes all the supply: it simply soaks in.
        if (no_front == step - 1 && k_eff >= supply) {
            reported = supply * kMetresPerSecondToCmPerHour;
            f_total += h;
            h = 0.0;
            no_front = step;
            theta = theta_i;
            return true;
        }

        if (k_eff > supply) {
            // Hiatus: the supply is below Ks, all of it infiltrates and the
            // first front redistributes.
            if (phase == 1) {
                theta_0 = theta_s;
            } else if (phase == 2 && f_total > 0.0) {
                // The two fronts merge into one of the same water content.
                theta_0 = theta_i + ((theta_0 + theta_s - 2.0 * theta_i) * (f_total - f1) +
                                     (theta_0 - theta_i) * f1) /
                                        f_total;
                theta_0 = std::min(theta_0, theta_s);
            }
            phase = 0;
            reported = h > 0.0 ? supply * kMetresPerSecondToCmPerHour : 0.0;
            f_total += h;
            f1 = f_total;
            h = 0.0;
            if (f_total < 0.0) {
                f_total = f1 = h = 0.0;
                theta = theta_i;
                return true;
            }
            if (theta_0 == theta_i) {
                wet = step;
                theta = theta_0;
            } else {
                if (f1 > 0.0) {
                    theta_0 += bc.front_change(theta_i, theta_0, f1, supply, dt);
                    theta_0 = std::clamp(theta_0, theta_i, std::max(theta_i, theta_s));
                }
                wet = step;
                theta = theta_0;
            }
            return true;
        }

        // Infiltration at capacity.
        double front = f_total;
        double deficit = theta_s - theta_i;
        if (wet >= 1 && phase != 1) {
            phase = 1;
            const double old_front = theta_0 > 0.0 ? f1 / theta_0 : 0.0;
            const double new_front = (f_total - f1) / std::max(theta_s - theta_0, 1e-20);
            if (old_front > new_front) {
                // The new front is still above the old one, which goes on
                // redistributing without supply.
                phase = 2;
                if (f1 > 0.0) {
                    theta_0 += bc.front_change(theta_i, theta_0, f1, 0.0, dt);
                    theta_0 = std::clamp(theta_0, theta_i, std::max(theta_i, theta_s));
                }
                front = f_total - f1;
                deficit = theta_s - theta_0;
            }
        }
        double f = green_ampt_rate(bc.ks, bc.psi * deficit, front, dt);
        if (use_factor)
            f *= soil.conductivity_factor[i];
        if (f >= supply) {
            // The supply limits: before ponding the surface wets up toward saturation.
            f = supply;
            if (ponded == 0 && wet == 0) {
                if (f - bc.ks < 1e-6) {
                    theta_0 += (theta_s - theta_0) * dt / 100000.0;
                } else {
                    const double d = (theta_s - theta_0) * bc.psi * bc.ks / ((f - bc.ks) * f);
                    theta_0 = d == 0.0 ? theta_s : theta_0 + (theta_s - theta_0) * dt / d;
                }
                if (theta_0 >= theta_s) {
                    theta_0 = theta_s;
                    ponded = step;
                }
            }
            h = 0.0;
        } else {
            h -= f * dt;
            if (ponded == 0) {
                ponded = step;
                if (wet == 0)
                    theta_0 = theta_s;
            }
        }
        reported = f * kMetresPerSecondToCmPerHour;
        f_total += f * dt;
        if (phase == 1)
            theta_0 = theta_s;
        theta = phase == 2 ? theta_s : theta_0;
        return true;
    });
}

void layered_green_ampt(Model& model, RunContext& ctx, double dt) {
    Soil& soil = model.soil;
    const double dt_hours = dt / 3600.0;
    const int types = static_cast<int>(soil.layer_table.size());
    const int failed = infiltrate_cells(model, [&](int i) {
        const double h_m = model.overland.depth[i];
        if (h_m < kDryDepth) {
            soil.infiltration_rate[i] = 0.0;
            return true;
        }
        const int type = soil.soil_index[i];
        if (type < 1 || type >= types || !soil.layer_table[type].given) {
            return false;
        }
        const auto& layer = soil.layer_table[type].layers;
        double deficit[3];
        for (int k = 0; k < 3; ++k) {
            deficit[k] = layer[k].porosity - layer[k].initial_moisture;
            if (deficit[k] == 0.0)
                deficit[k] = 0.01 * layer[k].porosity;
        }
        const double d1 = layer[0].thickness;
        const double d2 = layer[1].thickness;
        double h = h_m * 100.0;
        double f_total = soil.infiltrated_depth[i] * 100.0;
        double& z = soil.front_depth[i];

        // Effective conductivity of the wetted layers above the front: the
        // harmonic mean of the layers' conductivities over their wetted depths.
        double k_eff;
        double psi;
        int current;
        if (z > d1 + d2) {
            const double z3 = (f_total - d2 * deficit[1] - d1 * deficit[0]) / deficit[2];
            k_eff = (z3 + d1 + d2) / (d2 / layer[1].conductivity + d1 / layer[0].conductivity +
                                      z3 / layer[2].conductivity);
            current = 2;
        } else if (z > d1) {
            const double z2 = (f_total - d1 * deficit[0]) / deficit[1];
            k_eff = (z2 + d1) / (z2 / layer[1].conductivity + d1 / layer[0].conductivity);
            current = 1;
        } else {
            k_eff = layer[0].conductivity;
            current = 0;
        }
        psi = layer[current].capillary_head;
        const double drive = psi * deficit[current];

        // Implicit Green and Ampt over the step, by Newton's method on
        // G(F') = drive ln((drive + F') / (drive + F)) + K dt - F' + F.
        double f_end = f_total + 0.1;
        bool converged = false;
        for (int iteration = 0; iteration < kLayeredIterationLimit; ++iteration) {
            const double g = drive * std::log((drive + f_end) / (drive + f_total)) +
                             k_eff * dt_hours - f_end + f_total;
            if (std::fabs(g) <= kLayeredTolerance) {
                converged = true;
                break;
            }
            f_end -= g / (drive / (drive + f_end) - 1.0);
        }
        if (!converged || !std::isfinite(f_end)) {
            return false;
        }

        double new_z = f_end / deficit[0];
        if (new_z > d1)
            new_z = (f_end - d1 * deficit[0]) / deficit[1] + d1;
        if (new_z > d1 + d2)
            new_z = (f_end - d2 * deficit[1] - d1 * deficit[0]) / deficit[2] + d1 + d2;

        // The depth that enters the soil over the step is F' - F; the surface
        // gives up exactly that, so that no water is made or lost.
        const double amount = f_end - f_total;
        double f;
        if (amount >= h) {
            f = h / dt_hours;
            f_total += h;
            z += h / deficit[current];
            h = 0.0;
        } else {
            f = amount / dt_hours;
            h -= amount;
            f_total = f_end;
            z = new_z;
        }
        model.overland.depth[i] = h / 100.0;
        soil.infiltrated_depth[i] = f_total / 100.0;
        soil.infiltration_rate[i] = f;
        return true;
    });

    if (failed == 0)
        return;
    const int type = soil.soil_index[failed];
    if (type < 1 || type >= types || !soil.layer_table[type].given)
        ctx.print_and_log(
            "Error: no soil layers given for soil type %d of grid cell %d in the soil layer input "
            "file\n",
            type, failed);
    else
        ctx.print_and_log(
            "Error: layered Green and Ampt infiltration did not converge in %d iterations at grid "
            "cell %d\n",
            kLayeredIterationLimit, failed);
    ctx.error.raise(err::message_printed);
}

}  // namespace torva
