<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>VehDiag</name>
    <message>
        <source>%1 diagnosis</source>
        <translation>Diagnosis de %1</translation>
    </message>
    <message>
        <source>%1 does not answer.</source>
        <translation>%1 no responde.</translation>
    </message>
    <message>
        <source>%1 left the diagnostic session. Try again.</source>
        <translation>%1 ha salido de la sesión de diagnosis. Inténtelo de nuevo.</translation>
    </message>
    <message>
        <source>%1 refused: %2 (0x%3).</source>
        <translation>%1 lo ha rechazado: %2 (0x%3).</translation>
    </message>
    <message>
        <source>%1 sent an answer that cannot be read.</source>
        <translation>%1 ha enviado una respuesta ilegible.</translation>
    </message>
    <message numerus="yes">
        <source>%n control unit(s) found.</source>
        <translation>
            <numerusform>%n unidad de control encontrada.</numerusform>
            <numerusform>%n unidades de control encontradas.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n fault code(s) stored.</source>
        <translation>
            <numerusform>%n código de avería almacenado.</numerusform>
            <numerusform>%n códigos de avería almacenados.</numerusform>
        </translation>
    </message>
    <message>
        <source>(no description)</source>
        <translation>(sin descripción)</translation>
    </message>
    <message>
        <source>ABS / ESC</source>
        <translation>ABS / ESC</translation>
    </message>
    <message>
        <source>Air mass flow</source>
        <translation>Caudal de aire</translation>
    </message>
    <message>
        <source>Body</source>
        <translation>Carrocería</translation>
    </message>
    <message>
        <source>Bus</source>
        <translation>Bus</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Borrar</translation>
    </message>
    <message>
        <source>Clear fault codes</source>
        <translation>Borrar códigos de avería</translation>
    </message>
    <message>
        <source>Clear the fault codes of every control unit?</source>
        <translation>¿Borrar los códigos de avería de todas las unidades de control?</translation>
    </message>
    <message>
        <source>Clearing the fault codes...</source>
        <translation>Borrando los códigos de avería...</translation>
    </message>
    <message>
        <source>Code</source>
        <translation>Código</translation>
    </message>
    <message>
        <source>Control unit</source>
        <translation>Unidad de control</translation>
    </message>
    <message>
        <source>Coolant temperature</source>
        <translation>Temperatura del refrigerante</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Descripción</translation>
    </message>
    <message>
        <source>Engine</source>
        <translation>Motor</translation>
    </message>
    <message>
        <source>Engine load</source>
        <translation>Carga del motor</translation>
    </message>
    <message>
        <source>Engine self test</source>
        <translation>Autodiagnóstico del motor</translation>
    </message>
    <message>
        <source>Engine speed</source>
        <translation>Régimen del motor</translation>
    </message>
    <message>
        <source>Fault codes</source>
        <translation>Códigos de avería</translation>
    </message>
    <message>
        <source>Gateway</source>
        <translation>Pasarela</translation>
    </message>
    <message>
        <source>Identification</source>
        <translation>Identificación</translation>
    </message>
    <message>
        <source>Identify again</source>
        <translation>Identificar de nuevo</translation>
    </message>
    <message>
        <source>Identifying the vehicle...</source>
        <translation>Identificando el vehículo...</translation>
    </message>
    <message>
        <source>Intake air temperature</source>
        <translation>Temperatura del aire de admisión</translation>
    </message>
    <message>
        <source>Live data</source>
        <translation>Datos en vivo</translation>
    </message>
    <message>
        <source>Module voltage</source>
        <translation>Tensión del módulo</translation>
    </message>
    <message>
        <source>No J2534 library is registered. Install the J2534 driver on the drivers page.</source>
        <translation>No hay ninguna biblioteca J2534 registrada. Instale el controlador J2534 en la página de controladores.</translation>
    </message>
    <message>
        <source>No control unit answers. Check that the ignition is on and the adapter is plugged into the vehicle.</source>
        <translation>Ninguna unidad de control responde. Compruebe que el contacto está puesto y que el adaptador está conectado al vehículo.</translation>
    </message>
    <message>
        <source>No fault codes are stored.</source>
        <translation>No hay códigos de avería almacenados.</translation>
    </message>
    <message>
        <source>Part number</source>
        <translation>Número de pieza</translation>
    </message>
    <message>
        <source>Read fault codes</source>
        <translation>Leer códigos de avería</translation>
    </message>
    <message>
        <source>Reading the fault codes...</source>
        <translation>Leyendo los códigos de avería...</translation>
    </message>
    <message>
        <source>Routine</source>
        <translation>Rutina</translation>
    </message>
    <message>
        <source>Software number</source>
        <translation>Número de software</translation>
    </message>
    <message>
        <source>Start the routine</source>
        <translation>Iniciar la rutina</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Estado</translation>
    </message>
    <message>
        <source>The adapter is in use by another program. Close it and try again.</source>
        <translation>Otro programa está usando el adaptador. Ciérrelo e inténtelo de nuevo.</translation>
    </message>
    <message>
        <source>The adapter is not connected.</source>
        <translation>El adaptador no está conectado.</translation>
    </message>
    <message>
        <source>The adapter reported an error: %1</source>
        <translation>El adaptador ha informado de un error: %1</translation>
    </message>
    <message>
        <source>The connection to the adapter was lost.</source>
        <translation>Se ha perdido la conexión con el adaptador.</translation>
    </message>
    <message>
        <source>The fault codes were cleared.</source>
        <translation>Se han borrado los códigos de avería.</translation>
    </message>
    <message>
        <source>The make's diagnosis library has not started yet.</source>
        <translation>La biblioteca de diagnosis de la marca aún no se ha iniciado.</translation>
    </message>
    <message>
        <source>The routine finished. Result: %1</source>
        <translation>La rutina ha terminado. Resultado: %1</translation>
    </message>
    <message>
        <source>The routine is running...</source>
        <translation>La rutina está en curso...</translation>
    </message>
    <message>
        <source>This make has no routine.</source>
        <translation>Esta marca no tiene ninguna rutina.</translation>
    </message>
    <message>
        <source>Throttle position</source>
        <translation>Posición de la mariposa</translation>
    </message>
    <message>
        <source>Transmission</source>
        <translation>Transmisión</translation>
    </message>
    <message>
        <source>VIN: %1</source>
        <translation>VIN: %1</translation>
    </message>
    <message>
        <source>Vehicle speed</source>
        <translation>Velocidad del vehículo</translation>
    </message>
    <message>
        <source>Waiting for the make's diagnosis library...</source>
        <translation>Esperando a la biblioteca de diagnosis de la marca...</translation>
    </message>
    <message>
        <source>busy, repeat the request</source>
        <translation>ocupado, repita la petición</translation>
    </message>
    <message>
        <source>conditions not correct</source>
        <translation>condiciones no correctas</translation>
    </message>
    <message>
        <source>confirmed</source>
        <translation>confirmado</translation>
    </message>
    <message>
        <source>exceeded number of attempts</source>
        <translation>número de intentos superado</translation>
    </message>
    <message>
        <source>failed now</source>
        <translation>fallo actual</translation>
    </message>
    <message>
        <source>general programming failure</source>
        <translation>fallo general de programación</translation>
    </message>
    <message>
        <source>general reject</source>
        <translation>rechazo general</translation>
    </message>
    <message>
        <source>incorrect message length or format</source>
        <translation>longitud o formato de mensaje incorrectos</translation>
    </message>
    <message>
        <source>invalid key</source>
        <translation>clave no válida</translation>
    </message>
    <message>
        <source>negative response</source>
        <translation>respuesta negativa</translation>
    </message>
    <message>
        <source>none</source>
        <translation>ninguno</translation>
    </message>
    <message>
        <source>not found</source>
        <translation>no encontrada</translation>
    </message>
    <message>
        <source>not read</source>
        <translation>no leído</translation>
    </message>
    <message>
        <source>pending</source>
        <translation>pendiente</translation>
    </message>
    <message>
        <source>pins 3/11</source>
        <translation>pines 3/11</translation>
    </message>
    <message>
        <source>pins 6/14</source>
        <translation>pines 6/14</translation>
    </message>
    <message>
        <source>request out of range</source>
        <translation>petición fuera de rango</translation>
    </message>
    <message>
        <source>request sequence error</source>
        <translation>error de secuencia de la petición</translation>
    </message>
    <message>
        <source>required time delay not expired</source>
        <translation>no ha transcurrido el tiempo de espera necesario</translation>
    </message>
    <message>
        <source>response too long</source>
        <translation>respuesta demasiado larga</translation>
    </message>
    <message>
        <source>security access denied</source>
        <translation>acceso de seguridad denegado</translation>
    </message>
    <message>
        <source>service not supported</source>
        <translation>servicio no admitido</translation>
    </message>
    <message>
        <source>service not supported in active session</source>
        <translation>servicio no admitido en la sesión activa</translation>
    </message>
    <message>
        <source>stored</source>
        <translation>almacenado</translation>
    </message>
    <message>
        <source>sub-function not supported</source>
        <translation>subfunción no admitida</translation>
    </message>
    <message>
        <source>sub-function not supported in active session</source>
        <translation>subfunción no admitida en la sesión activa</translation>
    </message>
    <message>
        <source>warning lamp</source>
        <translation>testigo de aviso</translation>
    </message>
</context>
</TS>
