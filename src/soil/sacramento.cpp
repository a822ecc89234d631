// The Sacramento soil moisture accounting model (Burnash, Ferral and McGuire
// 1973; Burnash 1995) over one accounting interval.
//
// The watershed is a permanently impervious part (pctim), an additional
// impervious part (adimp) that turns impervious as its tension water fills,
// and the pervious rest, under which two zones hold tension water (taken only
// by evapotranspiration) and free water (which drains as interflow,
// percolation and baseflow). Stores are in mm over their own area.
//
// Three departures from the model's usual code keep the water balance exact:
// the additional-impervious store is left as computed at the end of the
// interval (it is not raised to the upper tension water, which would create
// water); primary free water beyond its capacity, once the lower tension
// water is full, passes to supplementary free water and then to the channel;
// and a lower-zone deficiency ratio a rounding leaves below zero is taken as
// zero (and counted) instead of stopping the run.

#include "soil/sacramento.hpp"

#include <algorithm>
#include <cmath>

namespace torva {
namespace {

// A free water store that falls to this depth (mm) drains completely.
constexpr double kEmptyFreeWater = 1e-4;
// No increment takes in more than about 5 mm of upper free water and input.
constexpr double kIncrementsPerMillimetre = 0.2;

// Daily depletion fraction k turned into the fraction of an increment of
// `days` days.
double depletion(double k, double days) {
    return 1.0 - std::pow(1.0 - k, days);
}

// Evapotranspiration from the pervious stores (e1, e2, e3, mm over the
// pervious area) and from the additional impervious store (into the flows,
// over the watershed).
void evapotranspire(const SacramentoParameters& p, SacramentoStores& s, double demand,
                    SacramentoFlows& f, double& e1, double& e2, double& e3) {
    // Upper tension water gives in proportion to its fullness; when that asks
    // for more than it holds, the rest of the demand falls on the upper free
    // water.
    const double asked = demand * s.uztwc / p.uztwm;
    e1 = std::min(asked, s.uztwc);
    s.uztwc -= e1;
    e2 = 0.0;
    if (asked > e1) {
        e2 = std::min(demand - e1, s.uzfwc);
        s.uzfwc -= e2;
    }
    // Free water relatively fuller than the tension water tops it up until
    // both are equally full.
    if (s.uztwc / p.uztwm < s.uzfwc / p.uzfwm) {
        const double fullness = (s.uztwc + s.uzfwc) / (p.uztwm + p.uzfwm);
        s.uztwc = p.uztwm * fullness;
        s.uzfwc = p.uzfwm * fullness;
    }
    // Lower tension water meets the rest in proportion to its share of all
    // tension water.
    const double rest = demand - e1 - e2;
    e3 = std::clamp(rest * s.lztwc / (p.uztwm + p.lztwm), 0.0, s.lztwc);
    s.lztwc -= e3;
    // Lower free water beyond the reserve keeps the lower tension water as
    // full as the lower zone as a whole.
    const double reserve = p.rserv * (p.lzfpm + p.lzfsm);
    const double tension_fullness = s.lztwc / p.lztwm;
    const double zone_fullness =
        (s.lztwc + s.lzfpc + s.lzfsc - reserve) / (p.lztwm + p.lzfpm + p.lzfsm - reserve);
    if (tension_fullness < zone_fullness) {
        double refill = std::min((zone_fullness - tension_fullness) * p.lztwm, s.lzfsc + s.lzfpc);
        s.lztwc += refill;
        const double from_supplementary = std::min(refill, s.lzfsc);
        s.lzfsc -= from_supplementary;
        refill -= from_supplementary;
        s.lzfpc -= refill;
    }
    // The additional impervious area evaporates from its own store.
    // An evaporation below zero would draw water from the air.
    double e5 = e1 + (demand - e1) * (s.adimc - e1 - s.uztwc) / (p.uztwm + p.lztwm);
    e5 = std::clamp(e5, 0.0, s.adimc);
    s.adimc -= e5;
    f.et_impervious = e5 * p.adimp;
}

// Drains a free water store by its depletion fraction; returns the baseflow.
double drain(double& store, double fraction) {
    double flow = store * fraction;
    store -= flow;
    if (store <= kEmptyFreeWater) {
        flow += store;
        store = 0.0;
    }
    return flow;
}

}  // namespace

double sacramento_storage(const SacramentoParameters& p, const SacramentoStores& s) {
    return (s.uztwc + s.uzfwc + s.lztwc + s.lzfsc + s.lzfpc) * p.pervious() + s.adimc * p.adimp;
}

SacramentoFlows sacramento_interval(const SacramentoParameters& p, SacramentoStores& s,
                                    double input, double demand, double dt_days) {
    SacramentoFlows f;
    f.input = input;
    f.demand = demand;
    f.storage_before = sacramento_storage(p, s);
    const double parea = p.pervious();

    double e1 = 0.0, e2 = 0.0, e3 = 0.0;
    evapotranspire(p, s, demand, f, e1, e2, e3);

    // Input beyond what the upper tension water can hold is the excess.
    const double excess = std::max(input + s.uztwc - p.uztwm, 0.0);
    s.uztwc += input - excess;
    s.adimc += input - excess;
    f.impervious_runoff = input * p.pctim;

    // The excess enters in increments small enough that percolation and
    // interflow follow the upper free water as it fills.
    const int n = 1 + static_cast<int>(std::floor(kIncrementsPerMillimetre * (s.uzfwc + excess)));
    const double days = dt_days / n;
    const double pinc = excess / n;
    const double duz = depletion(p.uzk, days);
    const double dlzp = depletion(p.lzpk, days);
    const double dlzs = depletion(p.lzsk, days);
    const double lower_capacity = p.lztwm + p.lzfpm + p.lzfsm;
    const double hpl = p.lzfpm / (p.lzfpm + p.lzfsm);
    f.increments = n;

    double baseflow = 0.0, surface = 0.0, interflow = 0.0, direct = 0.0, overflow = 0.0;
    for (int k = 0; k < n; ++k) {
        // The part of the additional impervious area whose tension water is
        // full sheds its input as direct runoff.
        const double ratio = std::clamp((s.adimc - s.uztwc) / p.lztwm, 0.0, 1.0);
        double addro = pinc * ratio * ratio;

        baseflow += drain(s.lzfpc, dlzp);
        baseflow += drain(s.lzfsc, dlzs);

        // Percolation demand grows with the lower zone's deficiency; it is
        // met from the upper free water before the increment's input arrives.
        double deficiency = 1.0 - (s.lztwc + s.lzfpc + s.lzfsc) / lower_capacity;
        if (deficiency < 0.0) {
            deficiency = 0.0;
            ++f.deficiency_clamped;
        }
        double perc = (p.lzfpm * dlzp + p.lzfsm * dlzs) * (s.uzfwc / p.uzfwm) *
                      (1.0 + p.zperc * std::pow(deficiency, p.rexp));
        const double room = std::max(lower_capacity - s.lztwc - s.lzfpc - s.lzfsc, 0.0);
        perc = std::min({perc, s.uzfwc, room});
        s.uzfwc -= perc;
        f.percolation += perc;

        const double inter = s.uzfwc * duz;
        s.uzfwc -= inter;
        interflow += inter;

        // Percolation fills the lower tension water first, except the pfree
        // share; the rest is split between the free stores by how empty each is.
        const double to_tension = perc * (1.0 - p.pfree);
        double to_free = perc * p.pfree;
        if (s.lztwc + to_tension > p.lztwm) {
            to_free += s.lztwc + to_tension - p.lztwm;
            s.lztwc = p.lztwm;
        } else {
            s.lztwc += to_tension;
        }
        if (to_free > 0.0) {
            const double ratlp = s.lzfpc / p.lzfpm;
            const double ratls = s.lzfsc / p.lzfsm;
            const double empty = (1.0 - ratlp) + (1.0 - ratls);
            const double fracp =
                empty > 0.0 ? std::min(hpl * 2.0 * (1.0 - ratlp) / empty, 1.0) : hpl;
            const double to_supplementary = std::min(to_free - to_free * fracp, p.lzfsm - s.lzfsc);
            s.lzfsc += to_supplementary;
            s.lzfpc += to_free - to_supplementary;
            // Primary water beyond capacity goes to the tension water, then to
            // supplementary free water, then to the channel.
            double beyond = std::max(s.lzfpc - p.lzfpm, 0.0);
            s.lzfpc -= beyond;
            const double to_lztw = std::min(beyond, p.lztwm - s.lztwc);
            s.lztwc += to_lztw;
            beyond -= to_lztw;
            const double to_lzfs = std::min(beyond, p.lzfsm - s.lzfsc);
            s.lzfsc += to_lzfs;
            beyond -= to_lzfs;
            overflow += beyond;
        }

        // The increment's input joins the upper free water; what it cannot
        // hold runs off the surface.
        double adsur = 0.0;
        if (pinc > 0.0) {
            if (s.uzfwc + pinc > p.uzfwm) {
                const double sur = s.uzfwc + pinc - p.uzfwm;
                s.uzfwc = p.uzfwm;
                adsur = sur * (1.0 - addro / pinc);
                surface += sur * parea + adsur * p.adimp;
            } else {
                s.uzfwc += pinc;
            }
        }
        s.adimc += pinc - addro - adsur;
        if (s.adimc > p.uztwm + p.lztwm) {
            addro += s.adimc - (p.uztwm + p.lztwm);
            s.adimc = p.uztwm + p.lztwm;
        }
        direct += addro * p.adimp;
    }

    f.et_upper_tension = e1 * parea;
    f.et_upper_free = e2 * parea;
    f.et_lower_tension = e3 * parea;
    f.percolation *= parea;
    f.direct_runoff = direct;
    f.surface_runoff = surface;
    f.interflow = interflow * parea;
    f.primary_overflow = overflow * parea;
    const double total_baseflow = baseflow * parea;
    f.baseflow = total_baseflow / (1.0 + p.side);
    f.deep_recharge = total_baseflow - f.baseflow;

    // Riparian vegetation draws the demand left over from the channel inflow.
    const double inflow = f.impervious_runoff + f.direct_runoff + f.surface_runoff + f.interflow +
                          f.baseflow + f.primary_overflow;
    f.et_riparian = std::min((demand - e1 - e2 - e3) * p.riva, inflow);
    f.et_riparian = std::max(f.et_riparian, 0.0);
    f.channel_inflow = inflow - f.et_riparian;
    f.evapotranspiration =
        f.et_upper_tension + f.et_upper_free + f.et_lower_tension + f.et_riparian + f.et_impervious;

    f.storage_after = sacramento_storage(p, s);
    f.residual = f.storage_before + f.input - f.evapotranspiration - f.channel_inflow -
                 f.deep_recharge - f.storage_after;
    return f;
}

}  // namespace torva
