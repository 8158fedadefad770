-- The service history as the first version of its schema wrote it: no
-- further identity values, no parameter values. history-v1.sqlite is made
-- from this file with: sqlite3 history-v1.sqlite < history-v1.sql
CREATE TABLE devices(
  id INTEGER PRIMARY KEY, address INTEGER, name TEXT, version INTEGER, release INTEGER,
  parameter_version INTEGER);
CREATE TABLE entries(
  id INTEGER PRIMARY KEY, device_id INTEGER NOT NULL REFERENCES devices(id), operation TEXT NOT NULL,
  started INTEGER NOT NULL, ended INTEGER, outcome TEXT, user TEXT, host TEXT, port TEXT, via TEXT,
  file TEXT, seal TEXT, backup TEXT, detail TEXT);
CREATE INDEX entries_by_device ON entries(device_id, id);
INSERT INTO devices VALUES(1, 1, 'PUMPCTRL', 3, 2, 4);
INSERT INTO devices VALUES(2, 18, 'VALVE01', 2, 0, 3);
INSERT INTO entries VALUES(1, 1, 'save', 1780000000, 1780000030, 'done', 'tech', 'van', '/dev/ttyUSB0', '',
  '/home/tech/PUMPCTRL_01_2026-05-28.NFO', '1A2B3C4D/5B3D', '', '');
INSERT INTO entries VALUES(2, 1, 'load', 1780000100, NULL, NULL, 'tech', 'van', '/dev/ttyUSB0', '',
  '/home/tech/PUMPCTRL_01_2026-05-28.NFO', '', '', '');
INSERT INTO entries VALUES(3, 2, 'address', 1780000200, 1780000201, 'done', 'tech', 'van', '/dev/ttyUSB0', '',
  '', '', '', '11 > 12');
PRAGMA user_version = 1;
