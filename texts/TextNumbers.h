#pragma once
// Every number of the message table that the program looks up. Each shipped
// messages file must hold a non-empty text for each of them.
#include <cstdint>

inline constexpr uint32_t USED_MESSAGE_NUMBERS[] = {
    // title, caption suffix while busy, messages, on/off and counter words
    0, 1, 2, 3, 4, 18, 19, 21, 32, 33, 34, 35,
    // menu captions
    128, 129, 130, 131, 132, 133,
    144, 145, 146, 147, 148, 150, 151, 153, 154, 155,
    160, 161,
    // credits dialog
    256, 257, 258, 259, 261, 263,
    // options dialog, and its list of the serial devices present
    384, 385, 387, 389,
    33056, 33057, 33058, 33059, 33060, 33061, 33062, 33063,
    // the typed device path, board UARTs and Bluetooth links in that list,
    // and Connect's offer of the one adapter present
    33064, 33065, 33066, 33067, 33068,
    // connect dialog
    512, 513,
    // progress window and its captions for the connection
    768, 769, 770,
    // parameter dialog, access, restart, descriptions
    1024, 1025, 1028, 1029, 1030, 1032, 1041,
    1056, 1057, 1058, 1059, 1060, 1061, 1062, 1063, 1064,
    // password and address dialogs
    1280, 1281, 1553, 2304, 2305,
    // report viewer and parameter text editor
    2560, 2561, 2563,
    // device panel and report labels, file passes and file messages
    32768, 32769, 32770, 32771, 32773, 32774, 32775, 32777,
    32778, 32779, 32780, 32781, 32782, 32783, 32784, 32786, 32787, 32788, 32789,
    // the check before a load, questions before an unloadable text, a
    // replaced file or a taken address, and what commands tell in passing
    33024, 33025, 33026, 33027, 33028, 33029, 33030, 33031, 33032, 33033,
    // why a serial port would not open, and a port lost while in use
    33040, 33041, 33042, 33043, 33044, 33045, 33046, 33047, 33048,
    33049, 33050, 33051, 33052, 33053, 33054, 33055,
    // why a network port would not open, its loss, and its word in the options
    33264, 33265, 33266, 33267, 33268, 33269, 33270, 33271,
    // comparisons, the parameter table, printing the report
    33104, 33105, 33106, 33107, 33108, 33109, 33110, 33111, 33112, 33113,
    33114, 33115, 33116, 33117, 33118, 33119, 33120, 33121, 33122, 33123,
    33124, 33125, 33126, 33127, 33128, 33129, 33130, 33131, 33132, 33133,
    33134, 33135,
    // the load's backup and read-back, and their options
    33072, 33073, 33074, 33075, 33076, 33077, 33078, 33079, 33080, 33081,
    33082, 33083, 33084,
    // status bar hints
    32896, 32897, 32898, 32899, 32900, 32901, 32902, 32903, 32904, 32905,
    32906, 32907, 32910, 32911, 32912, 32913,
    // bus monitor: menu caption and hint, window, columns, words, buttons
    33088, 33089, 33090, 33091, 33092, 33093, 33094, 33095, 33096, 33097,
    33098, 33099, 33100,
    // a settings file that could not be written
    33152,
    // parameter table: refused and clamped edits, pending edits, the write
    // plan, a failed write, the pending column and the shown-rows export
    33168, 33169, 33170, 33171, 33172, 33173, 33174, 33175, 33176, 33177,
    33178, 33179, 33180, 33181, 33182,
    // the comparison's choosers, identity rows and other-device warnings
    33184, 33185, 33186, 33187, 33188, 33189, 33190, 33191, 33192, 33193, 33194, 33195,
    // bus monitor: register names, Resume, the address filter; the printed
    // page's heading and its mark of a file that did not verify
    33232, 33233, 33234, 33235, 33236, 33237,
    // a save's value that never read the same twice, and its option
    33248, 33249,
    // the table after a job on several buses, and a device asked for by address or name
    33280, 33281, 33282, 33283, 33284, 33285, 33286, 33287, 33288, 33289, 33290, 33291,
    33292, 33293,
    // the service history: menu, window, words, problems, options, columns
    33328, 33329, 33330, 33331, 33332, 33333, 33334, 33335, 33336, 33337,
    33338, 33339, 33340, 33341, 33342, 33343, 33344, 33345, 33346, 33347,
    33348, 33349, 33350, 33351, 33352, 33353, 33354, 33355, 33356, 33357,
    33358, 33359, 33360, 33361, 33362, 33363, 33364, 33365, 33366, 33367,
    33368, 33369, 33370,
    // the question before a load, values too wide, a load put back from its
    // backup, the backups folder button, the read-back's unknown and missing
    // values, the conversion's summary
    33200, 33201, 33202, 33207, 33208, 33209, 33210,
    // the editor's question before closing unsaved text, the help window's title
    33296, 33297,
    // the identity a save reads again, values that move while they are read,
    // the read-back's address and password, the table's update of values
    33376, 33377, 33378, 33379, 33380, 33381, 33382, 33383, 33384, 33385,
    33386, 33387, 33388, 33389,
    // a load that stopped: where, on which value and how; what the device
    // holds now and its put-back; a device at the file's address
    33424, 33425, 33426, 33427, 33428, 33429, 33430, 33431, 33432, 33433,
    33434, 33435, 33436, 33437, 33438, 33439,
    // the service history's records that tell the truth: the put-back, the
    // outcome filter, each value's outcome, a foreign or missing or unreadable
    // database, a load into another device, the version column, a replaced file
    33392, 33393, 33394, 33395, 33396, 33397, 33398, 33399, 33400, 33401,
    33402, 33403, 33404, 33405, 33406,
    // the parameter dialog: a typed value not sent as typed is shown before it goes
    0x8280,
    // the ways a network port fails to open (lookup, telnet, TLS, hang-ups), the TLS authorities' field
    0x82A0, 0x82A1, 0x82A2, 0x82A3, 0x82A4, 0x82A5, 0x82A6, 0x82A7, 0x82A8, 0x82A9, 0x82AA, 0x82AB, 0x82AC,
    // a network address with a user name or an overlong host; a file that
    // could not be made in a folder, and why
    0x82B0, 0x82B1, 0x82B3, 0x82B4, 0x82B5, 0x82B6, 0x82B7, 0x82B8, 0x82B9,
    // what a screen reader hears (panel, arrows, tables, the status in words),
    // counts of one, the save cancelled, the port in the status bar
    0x82C0, 0x82C1, 0x82C2, 0x82C3, 0x82C4, 0x82C5, 0x82C6, 0x82C7,
    0x82C8, 0x82C9, 0x82CA, 0x82CB, 0x82CC, 0x82CD, 0x82CE, 0x82CF,
    // the administrator's config.ini missing, unreadable or broken; a user's
    // setting naming the former installation folder
    0x82D0, 0x82D1, 0x82D2, 0x82D3,
    // the plant's service history server: its problems, the view, Options, --history-sync
    0x82E0, 0x82E1, 0x82E2, 0x82E3, 0x82E4, 0x82E5, 0x82E6, 0x82E7, 0x82E8, 0x82E9, 0x82EA,
};
