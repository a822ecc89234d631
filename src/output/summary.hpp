#pragma once
// The run totals, the event summary and the mass balance.
//
// Every phase that moves water adds the volume to its own entry of the run and
// event totals; the balance only sums entries and storages, so a process that
// joins the model later adds to its own entries and its report lines appear
// when its option is on.

#include "output/summary_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Measures the storages of every store now.
Storages measure_storages(const Model& model);

// Before the time loop: decides the balance options and records the initial
// storages of the run (and of the first event).
void record_initial_storages(Model& model);
// At the start of an event: clears the event totals and records the storages
// the event begins with.
void start_event_accounting(Model& model);

// The balances, from the totals and the storages (pure arithmetic, so tests
// can feed them figures).
BalanceResults compute_run_balance(const Totals& totals, const Storages& initial,
                                   const Storages& final_storage);
EventBalance compute_event_balance(const Totals& totals, const Storages& event_final);

// At each event end: computes the event balance and writes the event summary
// to the summary file.
void write_event_summary(Model& model, RunContext& ctx);
// Writes the run summary and mass balance to the summary file.
void write_run_summary(Model& model, RunContext& ctx);
// Everything that entered the aquifer other than across fixed heads (recharge,
// static fluxes, the stream beds) less what left it (leakage, wells), m3.
double groundwater_inputs(const Model& model);

}  // namespace torva
