#include "session/PlantServer.h"

// Version 1 of the plant's schema. Every statement may run again on a
// database that has it already: two laptops meeting an empty database at
// once make it once (the program takes an advisory lock first).
// The text is the body of install/plant-history.sql, which a plant that
// makes the schema beforehand runs itself (the build copies it in).
const char* const PLANT_SCHEMA_SQL =
#include "session/PlantSchemaSql.inc"
    ;
