#pragma once
// One sub-step of a soil column's nodes: its boundaries and the modified
// Picard iteration that settles its heads (the column step uses it).

#include "soil/richards.hpp"
#include "soil/richards_state.hpp"

namespace torva {

// The fixed upper boundary of a sub-step: a flux into the first node, or a
// ponded head at the surface.
struct UpperBoundary {
    ColumnTop kind;
    double flux;  // m/s, flux kind
    double head;  // m, ponded kind
};

// What holds the lowest node of the nodes solved: the water table under the
// column (the pressure head at the point the bottom face reaches and its
// distance below the last node's centre), free drainage, or the first node
// of the slow soil below, whose head and conductivity stand still meanwhile.
struct BottomBoundary {
    bool free;                  // free drainage: a unit gradient, no water table
    double head;                // m
    double distance;            // m
    bool closed = false;        // the aquifer under it has nothing more to give
    bool slow = false;          // the slow soil below: head and conductivity given
    double conductivity = 0.0;  // m/s of the node below, slow soil only
};

struct SubstepOutcome {
    int iterations = 0;
    bool settled = false;
};

// The Picard iteration of one sub-step of nodes first .. n - 1 (the upper
// boundary at the face above `first`, the bottom under n - 1): heads from
// head_old to the settled heads in `h`, the face fluxes in s.flux (flux[first]
// through the top face, flux[n] through the bottom one).
//
// Every face between two solved nodes is stored as its conductivity K and
// conductance G = K / d, so a node's row is the same wherever it lies; the
// two boundary faces enter the first and the last row afterwards.
SubstepOutcome picard(const RichardsColumns& rc, const RichardsSoilType& type, double* h, int first,
                      int n, double tau, const UpperBoundary& upper, const BottomBoundary& bottom,
                      int limit, NodeRelation* r, RichardsScratch& s);

}  // namespace torva
