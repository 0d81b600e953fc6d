// Prints, as JSON, the packets node-simconnect encodes for the calls the program makes,
// so the tests can hold our encoder's bytes against an independent implementation.
'use strict';
const sc = require('node-simconnect');

const conn = new sc.SimConnectConnection('Wendle_P3D', sc.Protocol.FSX_SP2);
const packets = [];
// Catch the bytes instead of writing them to a socket.
conn._clientSocket = { write: (b) => packets.push(Buffer.from(b)), close() {}, on() {} };

const cases = [];
function record(name, fn) {
  const before = packets.length;
  fn();
  if (packets.length !== before + 1) throw new Error(`${name}: expected one packet`);
  cases.push({ name, hex: packets[before].toString('hex') });
}

record('open', () => conn._open());
clearTimeout(conn._openTimeout);
record('add_403_lat', () =>
  conn.addToDataDefinition(403, 'Plane Latitude', 'degree', sc.SimConnectDataType.FLOAT64, 0, 0xffffffff));
record('add_404_atcid', () =>
  conn.addToDataDefinition(404, 'ATC ID', null, sc.SimConnectDataType.STRING32, 0, 0xffffffff));
record('add_407_title', () =>
  conn.addToDataDefinition(407, 'TITLE', null, sc.SimConnectDataType.STRINGV, 0, 0xffffffff));
record('subscribe_sim', () => conn.subscribeToSystemEvent(201, 'Sim'));
record('map_gear', () => conn.mapClientEventToSimEvent(220, 'GEAR_SET'));
record('group_add', () => conn.addClientEventToNotificationGroup(301, 208, true));
record('group_priority', () => conn.setNotificationGroupPriority(301, 1));
record('request_109', () =>
  conn.requestDataOnSimObject(109, 403, 0, sc.SimConnectPeriod.ONCE, 0, 0, 0, 0));
record('request_108', () =>
  conn.requestDataOnSimObject(108, 409, 0, sc.SimConnectPeriod.SECOND, 0, 0, 0, 0));
record('request_101', () =>
  conn.requestDataOnSimObjectType(101, 404, 20 * 1852, sc.SimObjectType.AIRCRAFT));
const pos = new sc.RawBuffer(64);
[47.5, 8.5, 0.01, -0.02, 1.5, 3500.25, -12.5, 180].forEach((v) => pos.writeFloat64(v));
record('set_402', () =>
  conn.setDataOnSimObject(402, 5, { tagged: false, arrayCount: 0, buffer: pos }));
record('transmit_gear', () => conn.transmitClientEvent(5, 220, 1, 301, 0));
const init = new sc.InitPosition();
Object.assign(init, { latitude: 47.45, longitude: 8.56, altitude: 1421, pitch: -1.5, bank: 0.5,
                      heading: 280, onGround: true, airspeed: 0 });
record('create', () => conn.aICreateNonATCAircraft('Boeing 737-800 Paint1', 'N12345', init, 104));
record('release', () => conn.aIReleaseControl(5, 103));
record('remove', () => conn.aIRemoveObject(5, 105));
record('flight_plan', () => conn.aISetAircraftFlightPlan(5, 'C:\\Wendle\\orig_dest\\5.pln', 110));

process.stdout.write(JSON.stringify(cases, null, 1) + '\n');
