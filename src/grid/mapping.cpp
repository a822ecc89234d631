#include "grid/mapping.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

namespace torva {

const char* table_name(MappingTable) {
    return "";
}
const char* table_name(StreamTable) {
    return "";
}
int table_columns(MappingTable) {
    return 0;
}
int table_columns(StreamTable) {
    return 0;
}
int keyword_of(std::string_view, TableFileKind) {
    return 0;
}
bool load_table_file(RunContext&, const std::string&, TableFileKind, TableFile&) {
    return false;
}
void parse_table_file(std::vector<std::string>, TableFileKind, TableFile&) {}
TableLocation find_table(const TableFile&, int) {
    return {};
}
int read_row_count(const TableFile&, const TableLocation&) {
    return 0;
}
bool read_table_rows(RunContext&, const TableFile&, const TableLocation&, const char*, int,
                     TableRows&) {
    return false;
}
bool read_index_map(RunContext&, const std::string&, const Grid&, int, IndexZero,
                    std::vector<int>&) {
    return false;
}

void read_index_maps(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

bool has_table(const Model&, MappingTable) {
    return false;
}
bool has_stream_table(const Model&, StreamTable) {
    return false;
}
bool table_to_cells(Model&, RunContext&, MappingTable, int, std::vector<double>&, const char*) {
    return false;
}
bool read_table(Model&, RunContext&, MappingTable, std::initializer_list<TableColumn>) {
    return false;
}
bool read_table_with_ids(Model&, RunContext&, MappingTable, TableRows&, std::vector<int>&) {
    return false;
}
bool read_stream_table(Model&, RunContext&, StreamTable, std::initializer_list<LinkNodeValues*>,
                       int, const std::vector<int>&) {
    return false;
}

}  // namespace torva
