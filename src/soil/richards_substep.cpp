#include "soil/richards_substep.hpp"

#include <algorithm>
#include <cmath>

#include "soil/richards_relations.hpp"
#include "soil/tridiagonal.hpp"

namespace torva {
namespace {

// Heads have settled when no node changed by more than this share of its
// head (heads nearer zero than kHeadScale are judged against it).
constexpr double kRelativeHeadChange = 1e-3;
constexpr double kHeadScale = 0.01;  // m

// A small storage of the soil skeleton and water, 1/m, added to the capacity
// in the iteration only: it keeps the system solvable where every node is
// saturated (C = 0) under a flux boundary, and vanishes from the settled
// heads since it multiplies the change of head between iterations.
constexpr double kSpecificStorage = 1e-4;

// Conductivity of the face between an upper and a lower node.
double face_conductivity(const RichardsColumns& rc, double upper, double lower) {
    if (rc.face == FaceConductivity::geometric)
        return std::sqrt(upper * lower);
    return rc.upper_weight * upper + (1.0 - rc.upper_weight) * lower;
}

// Conductivity of the surface face under a ponded head.
double ponded_face_conductivity(const RichardsColumns& rc, const RichardsLayer& top,
                                double first_node) {
    switch (rc.ponded) {
        case PondedConductivity::saturated:
            return top.conductivity;
        case PondedConductivity::average:
            return 0.5 * (top.conductivity + first_node);
        default:
            return first_node;
    }
}

// A node's relations are evaluated again only once its head has moved by
// more than this share since they last were: below a wetting front most
// heads barely move from one iteration to the next, and the relations (a
// logarithm and an exponential) are the costliest work of a node. The
// conductivity (about h^-2.7 on the dry branch) is then off by three parts in
// ten thousand at most, a tenth of what the iteration's own test on the
// heads (0.1 %) leaves open, and the water content is carried to the present
// head through the capacity, so no water is made or lost by it.
constexpr double kReevaluateShare = 1e-4;

// Water content, conductivity and capacity of nodes first .. n - 1 at the
// heads h, for the nodes whose head has moved since they were last evaluated.
void evaluate_nodes(const RichardsColumns& rc, const RichardsSoilType& type, const double* h,
                    int first, int n, NodeRelation* r) {
    if (rc.relation == SoilWaterRelation::brooks_corey) {
        const BrooksCoreyNode* node = type.brooks_corey_node.data();
        for (int i = first; i < n; ++i) {
            const double last = r[i].head;
            if (std::fabs(h[i] - last) <= kReevaluateShare * std::fabs(last))
                continue;
            const NodeSoilWater w = brooks_corey_node(node[i], h[i]);
            r[i] = {h[i], w.theta, w.root_conductivity, w.capacity};  // K is its square
        }
        return;
    }
    for (int i = first; i < n; ++i) {
        const double last = r[i].head;
        if (std::fabs(h[i] - last) <= kReevaluateShare * std::fabs(last))
            continue;
        const RichardsLayer& layer = type.layers[type.node_layer[i]];
        const SoilWaterState w = soil_water(rc.relation, layer, h[i]);
        r[i] = {h[i], w.theta, layer.conductivity * w.k_relative, w.capacity};
    }
}

}  // namespace

SubstepOutcome picard(const RichardsColumns& rc, const RichardsSoilType& type, double* h, int first,
                      int n, double tau, const UpperBoundary& upper, const BottomBoundary& bottom,
                      int limit, NodeRelation* r, RichardsScratch& s) {
    // Across a gap of unresolved soil down to a deep water table the face
    // takes the last node's conductivity: the soil between is as dry as it.
    const bool gap = !bottom.slow && bottom.distance > type.node_dz[n - 1] * (1.0 + 1e-9);
    double bottom_k = bottom.conductivity;
    if (!bottom.slow && !bottom.free && !bottom.closed && !gap) {
        const RichardsLayer& deepest = type.layers[type.node_layer[n - 1]];
        bottom_k = deepest.conductivity * soil_water(rc.relation, deepest, bottom.head).k_relative;
    }
    const double bottom_g = bottom.free || bottom.closed ? 0.0 : 1.0 / bottom.distance;
    const bool ponded = upper.kind == ColumnTop::ponded_head;
    const double top_g = ponded ? 1.0 / (0.5 * type.node_dz[0]) : 0.0;
    const double inverse_tau = 1.0 / tau;
    const double* inverse_distance = type.face_inverse_distance.data();
    const double* dz = type.node_dz.data();
    const bool geometric = rc.face == FaceConductivity::geometric;
    double* face_k = s.face_k.data();
    double* face_g = s.face_g.data();
    // Brooks-Corey nodes keep the square root of their conductivity,
    // Havercamp nodes the conductivity itself.
    const bool root_kept = rc.relation == SoilWaterRelation::brooks_corey;
    const auto k = [&](int i) {
        return root_kept ? r[i].conductivity * r[i].conductivity : r[i].conductivity;
    };
    const auto root_k = [&](int i) {
        return root_kept ? r[i].conductivity : std::sqrt(r[i].conductivity);
    };
    const double* theta_old = s.theta_old.data();
    const double* source = s.source.data();
    double* diagonal = s.diagonal.data();
    double* rhs = s.rhs.data();
    // The boundary faces take no part in the rows' common form.
    face_k[first] = face_g[first] = 0.0;
    face_k[n] = face_g[n] = 0.0;
    double top_k = 0.0, last_bottom_k = 0.0;
    SubstepOutcome out;
    for (int m = 0; m < limit; ++m) {
        evaluate_nodes(rc, type, h, first, n, r);
        // Each face's conductance (conductivity over the distance of its
        // nodes) once, for the nodes on both sides of it.
        if (geometric && root_kept) {
            for (int i = first + 1; i < n; ++i) {
                face_k[i] = r[i - 1].conductivity * r[i].conductivity;
                face_g[i] = face_k[i] * inverse_distance[i];
            }
        } else if (geometric) {
            for (int i = first + 1; i < n; ++i) {
                face_k[i] = root_k(i - 1) * root_k(i);
                face_g[i] = face_k[i] * inverse_distance[i];
            }
        } else {
            for (int i = first + 1; i < n; ++i) {
                face_k[i] = face_conductivity(rc, k(i - 1), k(i));
                face_g[i] = face_k[i] * inverse_distance[i];
            }
        }
        for (int i = first; i < n; ++i) {
            const NodeRelation& e = r[i];
            const double storage = dz[i] * (e.capacity + kSpecificStorage) * inverse_tau;
            // The water content at the present head, from the last evaluation.
            const double theta_now = e.theta + e.capacity * (h[i] - e.head);
            diagonal[i] = storage + face_g[i] + face_g[i + 1];
            rhs[i] = storage * h[i] -
                     dz[i] * ((theta_now - theta_old[i]) * inverse_tau + source[i]) + face_k[i] -
                     face_k[i + 1];
        }
        // The face above the first node: a given flux, or the ponded head.
        if (ponded) {
            top_k = ponded_face_conductivity(rc, type.layers[0], k(0));
            diagonal[first] += top_k * top_g;
            rhs[first] += top_k + top_k * top_g * upper.head;
        } else {
            rhs[first] += upper.flux;
        }
        // The face below the last node: closed, free drainage (a unit
        // gradient, the node's own conductivity), or a head below it.
        if (bottom.free) {
            last_bottom_k = bottom.closed ? 0.0 : k(n - 1);
            rhs[n - 1] -= last_bottom_k;
        } else if (!bottom.closed) {
            if (gap)
                last_bottom_k = k(n - 1);
            else if (geometric)
                last_bottom_k = root_k(n - 1) * std::sqrt(bottom_k);
            else
                last_bottom_k = face_conductivity(rc, k(n - 1), bottom_k);
            const double g = last_bottom_k * bottom_g;
            diagonal[n - 1] += g;
            rhs[n - 1] += -last_bottom_k + g * bottom.head;
        }
        solve_tridiagonal(n - first, face_g + first, diagonal + first, s.eliminated.data() + first,
                          rhs + first);
        bool moving = false;
        bool not_real = false;
        for (int i = first; i < n; ++i) {
            const double next = rhs[i];
            const double change = std::fabs(next - h[i]);
            moving |= change > kRelativeHeadChange * std::max(std::fabs(next), kHeadScale);
            not_real |= std::isnan(next);
            h[i] = next;
        }
        ++out.iterations;
        if (!moving) {
            out.settled = !not_real;
            break;
        }
    }
    // The fluxes of the last system solved: with them each node's new water
    // content is its last iterate's plus the capacity times the change of
    // head, as the linearisation has it, and no water is made or lost.
    double* flux = s.flux.data();
    flux[first] = ponded ? top_k * (1.0 - (h[0] - upper.head) * top_g) : upper.flux;
    for (int i = first + 1; i < n; ++i) flux[i] = face_k[i] - face_g[i] * (h[i] - h[i - 1]);
    if (bottom.closed)
        flux[n] = 0.0;
    else if (bottom.free)
        flux[n] = last_bottom_k;
    else
        flux[n] = last_bottom_k * (1.0 - (bottom.head - h[n - 1]) * bottom_g);
    return out;
}

}  // namespace torva
