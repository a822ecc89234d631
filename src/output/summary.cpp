#include "output/summary.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

namespace torva {

Storages measure_storages(const Model& model) {
    (void)model;
    return {};
}

void record_initial_storages(Model& model) {
    (void)model;
}

void start_event_accounting(Model& model) {
    (void)model;
}

BalanceResults compute_run_balance(const Totals& totals, const Storages& initial,
                                   const Storages& final_storage) {
    (void)totals;
    (void)initial;
    (void)final_storage;
    return {};
}

EventBalance compute_event_balance(const Totals& totals, const Storages& event_final) {
    (void)totals;
    (void)event_final;
    return {};
}

void write_event_summary(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void write_run_summary(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
