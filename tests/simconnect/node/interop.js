// node-simconnect, an independent SimConnect client, against wendle-sim:
//   node interop.js PORT
// Prints "INTEROP OK" and exits 0 when every step behaved; otherwise names the step and exits 1.
'use strict';
const sc = require('node-simconnect');

const port = Number(process.argv[2]);
const STEP_MS = 5000;

function fail(message) {
  console.error(`INTEROP FAILED: ${message}`);
  process.exit(1);
}

// Resolves with the first event `name` that satisfies `pred`, or fails after STEP_MS.
function waitFor(handle, name, pred, what) {
  return new Promise((resolve) => {
    const timer = setTimeout(() => fail(`no ${what} within ${STEP_MS} ms`), STEP_MS);
    const listener = (msg) => {
      if (pred(msg)) {
        clearTimeout(timer);
        handle.removeListener(name, listener);
        resolve(msg);
      }
    };
    handle.on(name, listener);
  });
}

function check(cond, message) {
  if (!cond) fail(message);
}

(async () => {
  const { recvOpen, handle } = await sc.open('node-simconnect interop', sc.Protocol.FSX_SP2, {
    host: '127.0.0.1',
    port,
  });
  check(recvOpen.applicationName.includes('Prepar3D'), `open name '${recvOpen.applicationName}'`);
  check(recvOpen.applicationVersionMajor === 5, `open major ${recvOpen.applicationVersionMajor}`);
  console.log(`open: ${recvOpen.applicationName} ${recvOpen.applicationVersionMajor}.` +
              `${recvOpen.applicationVersionMinor}`);
  const exceptions = [];
  handle.on('exception', (e) => exceptions.push(e));

  // System events: "Sim" tells its state at once; frames keep coming.
  const sim = waitFor(handle, 'event', (e) => e.clientEventId === 1, '"Sim" event');
  handle.subscribeToSystemEvent(1, 'Sim');
  handle.subscribeToSystemEvent(2, 'ObjectAdded');
  handle.subscribeToSystemEvent(3, 'ObjectRemoved');
  const frame = waitFor(handle, 'eventFrame', (e) => e.clientEventId === 4, 'frame event');
  handle.subscribeToSystemEvent(4, 'Frame');
  check((await sim).data === 1, 'the simulator is not running');
  await frame;
  console.log('events: Sim 1, Frame');

  // The user aircraft.
  const T = sc.SimConnectDataType;
  handle.addToDataDefinition(1, 'PLANE LATITUDE', 'degrees', T.FLOAT64);
  handle.addToDataDefinition(1, 'PLANE LONGITUDE', 'degrees', T.FLOAT64);
  handle.addToDataDefinition(1, 'PLANE ALTITUDE', 'feet', T.FLOAT64);
  handle.addToDataDefinition(1, 'SIM ON GROUND', 'bool', T.INT32);
  handle.addToDataDefinition(1, 'TITLE', null, T.STRING256);
  handle.addToDataDefinition(1, 'ATC MODEL', null, T.STRING32);
  const user = waitFor(handle, 'simObjectData', (d) => d.requestID === 7, 'user data');
  handle.requestDataOnSimObject(7, 1, sc.SimConnectConstants.OBJECT_ID_USER, sc.SimConnectPeriod.ONCE);
  const u = (await user).data;
  const lat = u.readFloat64();
  const lon = u.readFloat64();
  const alt = u.readFloat64();
  const onGround = u.readInt32();
  const title = u.readString256();
  const model = u.readString32();
  check(Math.abs(lat - 47.4647) < 1e-9 && Math.abs(lon - 8.5492) < 1e-9, `user at ${lat},${lon}`);
  check(Math.abs(alt - 1421) < 1e-6 && onGround === 1, `user altitude ${alt}, on ground ${onGround}`);
  check(title === 'Interop Cessna' && model === 'C172', `user title '${title}', model '${model}'`);
  console.log(`user: ${title} (${model}) at ${lat},${lon}`);

  // An AI aircraft: its id, then the simulator announces it.
  const init = new sc.InitPosition();
  Object.assign(init, { latitude: 47.46, longitude: 8.55, altitude: 3000, heading: 140, onGround: false,
                        airspeed: 180 });
  const assigned = waitFor(handle, 'assignedObjectID', (a) => a.requestID === 104, 'ASSIGNED_OBJECT_ID');
  const added = waitFor(handle, 'eventAddRemove', (e) => e.clientEventId === 2, 'ObjectAdded');
  handle.aICreateNonATCAircraft('Interop Airliner', 'N4711', init, 104);
  const oid = (await assigned).objectID;
  const add = await added;
  check(oid > 1, `object id ${oid}`);
  check(add.data === oid && add.type === sc.SimObjectType.AIRCRAFT, `ObjectAdded ${add.data}/${add.type}`);
  console.log(`created: object ${oid}`);

  // A refused title: CREATE_OBJECT_FAILED names the creation packet.
  const refusedSendId = handle.aICreateNonATCAircraft('Refused Airliner', 'N0815', init, 104);
  const refused = await waitFor(handle, 'exception', (e) => e.exception === 22, 'CREATE_OBJECT_FAILED');
  check(refused.sendId === refusedSendId, `send id ${refused.sendId}, expected ${refusedSendId}`);
  console.log(`refused: send id ${refused.sendId}`);

  // Everything within range: the user and the new aircraft, with its ATC ID.
  handle.addToDataDefinition(2, 'ATC ID', null, T.STRING32);
  handle.addToDataDefinition(2, 'PLANE ALT ABOVE GROUND', 'feet', T.FLOAT64);
  const seen = [];
  const both = new Promise((resolve) => {
    const timer = setTimeout(() => fail('no by-type replies'), STEP_MS);
    handle.on('simObjectDataByType', (d) => {
      if (d.requestID !== 8) return;
      seen.push({ id: d.objectID, atc: d.data.readString32(), outOf: d.outOf });
      if (seen.length === d.outOf) {
        clearTimeout(timer);
        resolve();
      }
    });
  });
  handle.requestDataOnSimObjectType(8, 2, 50000, sc.SimObjectType.AIRCRAFT);
  await both;
  const ai = seen.find((s) => s.id === oid);
  check(seen.length === 2 && ai && ai.atc === 'N4711', `by type: ${JSON.stringify(seen)}`);
  console.log(`by type: ${seen.length} aircraft`);

  const removed = waitFor(handle, 'eventAddRemove', (e) => e.clientEventId === 3 && e.data === oid,
                          'ObjectRemoved');
  handle.aIRemoveObject(oid, 105);
  await removed;
  console.log('removed');

  const unexpected = exceptions.filter((e) => e.exception !== 22);
  check(unexpected.length === 0, `exceptions: ${JSON.stringify(unexpected)}`);
  handle.close();
  console.log('INTEROP OK');
  process.exit(0);
})().catch((e) => fail(e && e.message ? e.message : String(e)));
