#include "session/PlantServer.h"

// Version 1 of the plant's schema. Every statement may run again on a
// database that has it already: two laptops meeting an empty database at
// once make it once (the program takes an advisory lock first).
// install/plant-history.sql is this text for a plant that makes the schema
// beforehand; keep the two the same.
const char* const PLANT_SCHEMA_SQL = R"(
CREATE SCHEMA IF NOT EXISTS fieldservice;
CREATE TABLE IF NOT EXISTS fieldservice.schema_info(
  application TEXT NOT NULL, version INTEGER NOT NULL);
INSERT INTO fieldservice.schema_info(application, version)
  SELECT 'fieldservice service history', 1 WHERE NOT EXISTS (SELECT 1 FROM fieldservice.schema_info);
CREATE TABLE IF NOT EXISTS fieldservice.devices(
  id BIGSERIAL PRIMARY KEY, unit_key TEXT NOT NULL UNIQUE, name TEXT NOT NULL,
  register40 BIGINT NOT NULL, register44 BIGINT NOT NULL,
  address BIGINT, version BIGINT, release BIGINT, parameter_version BIGINT,
  last_started BIGINT NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS fieldservice.entries(
  id BIGSERIAL PRIMARY KEY, uid UUID NOT NULL UNIQUE,
  device_id BIGINT NOT NULL REFERENCES fieldservice.devices(id),
  operation TEXT NOT NULL, started BIGINT NOT NULL, ended BIGINT, outcome TEXT,
  "user" TEXT, host TEXT, port TEXT, via TEXT, file TEXT, seal TEXT, backup TEXT, detail TEXT,
  address BIGINT, version BIGINT, release BIGINT, parameter_version BIGINT,
  received TIMESTAMPTZ NOT NULL DEFAULT now());
CREATE INDEX IF NOT EXISTS entries_by_device ON fieldservice.entries(device_id, started DESC, id DESC);
CREATE TABLE IF NOT EXISTS fieldservice.entry_values(
  entry_id BIGINT NOT NULL REFERENCES fieldservice.entries(id), number INTEGER NOT NULL,
  on_off BOOLEAN NOT NULL, before BIGINT, after BIGINT, read_back BIGINT, outcome TEXT);
CREATE INDEX IF NOT EXISTS values_by_entry ON fieldservice.entry_values(entry_id);
)";
