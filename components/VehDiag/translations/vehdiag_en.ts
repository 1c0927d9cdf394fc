<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>VehDiag</name>
    <message>
        <source>%1 diagnosis</source>
        <translation>%1 diagnosis</translation>
    </message>
    <message>
        <source>%1 does not answer.</source>
        <translation>%1 does not answer.</translation>
    </message>
    <message>
        <source>%1 left the diagnostic session. Try again.</source>
        <translation>%1 left the diagnostic session. Try again.</translation>
    </message>
    <message>
        <source>%1 refused: %2 (0x%3).</source>
        <translation>%1 refused: %2 (0x%3).</translation>
    </message>
    <message>
        <source>%1 sent an answer that cannot be read.</source>
        <translation>%1 sent an answer that cannot be read.</translation>
    </message>
    <message numerus="yes">
        <source>%n control unit(s) found.</source>
        <translation>
            <numerusform>%n control unit found.</numerusform>
            <numerusform>%n control units found.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n fault code(s) stored.</source>
        <translation>
            <numerusform>%n fault code stored.</numerusform>
            <numerusform>%n fault codes stored.</numerusform>
        </translation>
    </message>
    <message>
        <source>(no description)</source>
        <translation>(no description)</translation>
    </message>
    <message>
        <source>ABS / ESC</source>
        <translation>ABS / ESC</translation>
    </message>
    <message>
        <source>Air mass flow</source>
        <translation>Air mass flow</translation>
    </message>
    <message>
        <source>Body</source>
        <translation>Body</translation>
    </message>
    <message>
        <source>Bus</source>
        <translation>Bus</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Clear fault codes</source>
        <translation>Clear fault codes</translation>
    </message>
    <message>
        <source>Clear the fault codes of every control unit?</source>
        <translation>Clear the fault codes of every control unit?</translation>
    </message>
    <message>
        <source>Clearing the fault codes...</source>
        <translation>Clearing the fault codes...</translation>
    </message>
    <message>
        <source>Code</source>
        <translation>Code</translation>
    </message>
    <message>
        <source>Control unit</source>
        <translation>Control unit</translation>
    </message>
    <message>
        <source>Coolant temperature</source>
        <translation>Coolant temperature</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>Engine</source>
        <translation>Engine</translation>
    </message>
    <message>
        <source>Engine load</source>
        <translation>Engine load</translation>
    </message>
    <message>
        <source>Engine self test</source>
        <translation>Engine self test</translation>
    </message>
    <message>
        <source>Engine speed</source>
        <translation>Engine speed</translation>
    </message>
    <message>
        <source>Fault codes</source>
        <translation>Fault codes</translation>
    </message>
    <message>
        <source>Gateway</source>
        <translation>Gateway</translation>
    </message>
    <message>
        <source>Identification</source>
        <translation>Identification</translation>
    </message>
    <message>
        <source>Identify again</source>
        <translation>Identify again</translation>
    </message>
    <message>
        <source>Identifying the vehicle...</source>
        <translation>Identifying the vehicle...</translation>
    </message>
    <message>
        <source>Intake air temperature</source>
        <translation>Intake air temperature</translation>
    </message>
    <message>
        <source>Live data</source>
        <translation>Live data</translation>
    </message>
    <message>
        <source>Module voltage</source>
        <translation>Module voltage</translation>
    </message>
    <message>
        <source>No J2534 library is registered. Install the J2534 driver on the drivers page.</source>
        <translation>No J2534 library is registered. Install the J2534 driver on the drivers page.</translation>
    </message>
    <message>
        <source>No control unit answers. Check that the ignition is on and the adapter is plugged into the vehicle.</source>
        <translation>No control unit answers. Check that the ignition is on and the adapter is plugged into the vehicle.</translation>
    </message>
    <message>
        <source>No fault codes are stored.</source>
        <translation>No fault codes are stored.</translation>
    </message>
    <message>
        <source>Part number</source>
        <translation>Part number</translation>
    </message>
    <message>
        <source>Read fault codes</source>
        <translation>Read fault codes</translation>
    </message>
    <message>
        <source>Reading the fault codes...</source>
        <translation>Reading the fault codes...</translation>
    </message>
    <message>
        <source>Routine</source>
        <translation>Routine</translation>
    </message>
    <message>
        <source>Software number</source>
        <translation>Software number</translation>
    </message>
    <message>
        <source>Start the routine</source>
        <translation>Start the routine</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>The adapter is in use by another program. Close it and try again.</source>
        <translation>The adapter is in use by another program. Close it and try again.</translation>
    </message>
    <message>
        <source>The adapter is not connected.</source>
        <translation>The adapter is not connected.</translation>
    </message>
    <message>
        <source>The adapter reported an error: %1</source>
        <translation>The adapter reported an error: %1</translation>
    </message>
    <message>
        <source>The connection to the adapter was lost.</source>
        <translation>The connection to the adapter was lost.</translation>
    </message>
    <message>
        <source>The fault codes were cleared.</source>
        <translation>The fault codes were cleared.</translation>
    </message>
    <message>
        <source>The make's diagnosis library has not started yet.</source>
        <translation>The make's diagnosis library has not started yet.</translation>
    </message>
    <message>
        <source>The routine finished. Result: %1</source>
        <translation>The routine finished. Result: %1</translation>
    </message>
    <message>
        <source>The routine is running...</source>
        <translation>The routine is running...</translation>
    </message>
    <message>
        <source>This make has no routine.</source>
        <translation>This make has no routine.</translation>
    </message>
    <message>
        <source>Throttle position</source>
        <translation>Throttle position</translation>
    </message>
    <message>
        <source>Transmission</source>
        <translation>Transmission</translation>
    </message>
    <message>
        <source>VIN: %1</source>
        <translation>VIN: %1</translation>
    </message>
    <message>
        <source>Vehicle speed</source>
        <translation>Vehicle speed</translation>
    </message>
    <message>
        <source>Waiting for the make's diagnosis library...</source>
        <translation>Waiting for the make's diagnosis library...</translation>
    </message>
    <message>
        <source>busy, repeat the request</source>
        <translation>busy, repeat the request</translation>
    </message>
    <message>
        <source>conditions not correct</source>
        <translation>conditions not correct</translation>
    </message>
    <message>
        <source>confirmed</source>
        <translation>confirmed</translation>
    </message>
    <message>
        <source>exceeded number of attempts</source>
        <translation>exceeded number of attempts</translation>
    </message>
    <message>
        <source>failed now</source>
        <translation>failed now</translation>
    </message>
    <message>
        <source>general programming failure</source>
        <translation>general programming failure</translation>
    </message>
    <message>
        <source>general reject</source>
        <translation>general reject</translation>
    </message>
    <message>
        <source>incorrect message length or format</source>
        <translation>incorrect message length or format</translation>
    </message>
    <message>
        <source>invalid key</source>
        <translation>invalid key</translation>
    </message>
    <message>
        <source>negative response</source>
        <translation>negative response</translation>
    </message>
    <message>
        <source>none</source>
        <translation>none</translation>
    </message>
    <message>
        <source>not found</source>
        <translation>not found</translation>
    </message>
    <message>
        <source>not read</source>
        <translation>not read</translation>
    </message>
    <message>
        <source>pending</source>
        <translation>pending</translation>
    </message>
    <message>
        <source>pins 3/11</source>
        <translation>pins 3/11</translation>
    </message>
    <message>
        <source>pins 6/14</source>
        <translation>pins 6/14</translation>
    </message>
    <message>
        <source>request out of range</source>
        <translation>request out of range</translation>
    </message>
    <message>
        <source>request sequence error</source>
        <translation>request sequence error</translation>
    </message>
    <message>
        <source>required time delay not expired</source>
        <translation>required time delay not expired</translation>
    </message>
    <message>
        <source>response too long</source>
        <translation>response too long</translation>
    </message>
    <message>
        <source>security access denied</source>
        <translation>security access denied</translation>
    </message>
    <message>
        <source>service not supported</source>
        <translation>service not supported</translation>
    </message>
    <message>
        <source>service not supported in active session</source>
        <translation>service not supported in active session</translation>
    </message>
    <message>
        <source>stored</source>
        <translation>stored</translation>
    </message>
    <message>
        <source>sub-function not supported</source>
        <translation>sub-function not supported</translation>
    </message>
    <message>
        <source>sub-function not supported in active session</source>
        <translation>sub-function not supported in active session</translation>
    </message>
    <message>
        <source>warning lamp</source>
        <translation>warning lamp</translation>
    </message>
</context>
</TS>
