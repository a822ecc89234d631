#include "soil/richards_substep.hpp"

#include <algorithm>
#include <cmath>

#include "soil/node_pairs.hpp"
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

// The row of a node (or of a pair of nodes) in the system of an iteration:
// its diagonal and its right-hand side, from its thickness dz, its relations
// as last evaluated (capacity, water content and the head they were
// evaluated at), its present head h, its water content at the start of the
// sub-step, its source, and the conductance g and conductivity k of the
// faces above and below it.
template <class T>
struct Row {
    T diagonal, rhs;
};

template <class T>
Row<T> node_row(T dz, T capacity, T theta, T evaluated_head, T h, T theta_old, T source, T g_above,
                T g_below, T k_above, T k_below, T inverse_tau) {
    const T storage = dz * (capacity + kSpecificStorage) * inverse_tau;
    // The water content at the present head, from the last evaluation.
    const T theta_now = theta + capacity * (h - evaluated_head);
    return {
        storage + g_above + g_below,
        storage * h - dz * ((theta_now - theta_old) * inverse_tau + source) + k_above - k_below};
}

// Whether a node's head has moved by more than the iteration lets settle.
template <class T>
auto head_moving(T next, T last, T head_scale) {
    return magnitude(next - last) > kRelativeHeadChange * larger(magnitude(next), head_scale);
}

// A node's relations are evaluated again only once its head has moved by
// more than this share since they last were: below a wetting front most
// heads barely move from one iteration to the next, and the relations (a
// power) are the costliest work of a node. The
// conductivity (about h^-2.7 on the dry branch) is then off by three parts in
// ten thousand at most, a tenth of what the iteration's own test on the
// heads (0.1 %) leaves open, and the water content is carried to the present
// head through the capacity, so no water is made or lost by it.
constexpr double kReevaluateShare = 1e-4;

// Water content, conductivity and capacity of nodes first .. n - 1 at the
// heads h, for the nodes whose head has moved since they were last evaluated.
// Which nodes those are varies from iteration to iteration beyond what the
// processor can foresee, so with Brooks-Corey they are listed first, without
// a branch, and the list is then evaluated: a wrong guess of a branch costs
// about as much as a node's arithmetic.
void evaluate_nodes(const RichardsColumns& rc, const RichardsSoilType& type, const double* h,
                    int first, int n, NodeRelation* r, RichardsScratch& s) {
    if (rc.relation == SoilWaterRelation::brooks_corey) {
        const BrooksCoreyNode* node = type.brooks_corey_node.data();
        int* moved = s.moved_nodes.data();
        int count = 0;
        int i = first;
        for (; i + 2 <= n; i += 2) {
            const NodePair last = {r[i].head, r[i + 1].head};
            const int beyond = lanes_beyond(magnitude(load_pair(h + i) - last),
                                            pair_of(kReevaluateShare) * magnitude(last));
            moved[count] = i;
            count += beyond & 1;
            moved[count] = i + 1;
            count += beyond >> 1;
        }
        if (i < n) {
            moved[count] = i;
            count += !(std::fabs(h[i] - r[i].head) <= kReevaluateShare * std::fabs(r[i].head));
        }
        for (int k = 0; k < count; ++k) {
            const int i = moved[k];
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
        evaluate_nodes(rc, type, h, first, n, r, s);
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
        int i = first;
        for (; i + 2 <= n; i += 2) {
            // The relations of the two nodes side by side: head and water
            // content, conductivity and capacity of each.
            const NodePair a = load_pair(reinterpret_cast<const double*>(r + i));
            const NodePair b = load_pair(reinterpret_cast<const double*>(r + i + 1));
            const NodePair c = load_pair(reinterpret_cast<const double*>(r + i) + 2);
            const NodePair d = load_pair(reinterpret_cast<const double*>(r + i + 1) + 2);
            const Row<NodePair> row =
                node_row(load_pair(dz + i), __builtin_shufflevector(c, d, 1, 3),
                         __builtin_shufflevector(a, b, 1, 3), __builtin_shufflevector(a, b, 0, 2),
                         load_pair(h + i), load_pair(theta_old + i), load_pair(source + i),
                         load_pair(face_g + i), load_pair(face_g + i + 1), load_pair(face_k + i),
                         load_pair(face_k + i + 1), pair_of(inverse_tau));
            store_pair(diagonal + i, row.diagonal);
            store_pair(rhs + i, row.rhs);
        }
        if (i < n) {
            const NodeRelation& e = r[i];
            const Row<double> row =
                node_row(dz[i], e.capacity, e.theta, e.head, h[i], theta_old[i], source[i],
                         face_g[i], face_g[i + 1], face_k[i], face_k[i + 1], inverse_tau);
            diagonal[i] = row.diagonal;
            rhs[i] = row.rhs;
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
        PairMask moving_lanes = {0, 0}, not_real_lanes = {0, 0};
        for (i = first; i + 2 <= n; i += 2) {
            const NodePair next = load_pair(rhs + i);
            moving_lanes |= head_moving(next, load_pair(h + i), pair_of(kHeadScale));
            not_real_lanes |= next != next;
            store_pair(h + i, next);
        }
        bool moving = any(moving_lanes);
        bool not_real = any(not_real_lanes);
        if (i < n) {
            const double next = rhs[i];
            moving |= head_moving(next, h[i], kHeadScale);
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
    int i = first + 1;
    for (; i + 2 <= n; i += 2)
        store_pair(flux + i, load_pair(face_k + i) -
                                 load_pair(face_g + i) * (load_pair(h + i) - load_pair(h + i - 1)));
    if (i < n)
        flux[i] = face_k[i] - face_g[i] * (h[i] - h[i - 1]);
    if (bottom.closed)
        flux[n] = 0.0;
    else if (bottom.free)
        flux[n] = last_bottom_k;
    else
        flux[n] = last_bottom_k * (1.0 - (bottom.head - h[n - 1]) * bottom_g);
    return out;
}

}  // namespace torva
