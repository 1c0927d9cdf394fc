<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>P2PPage</name>
    <message>
        <location filename="../../remote/RemotePages.cpp" line="+377"/>
        <source>Port %1 is listening. Wait for the client to connect.</source>
        <translation>El puerto %1 está a la escucha. Espere a que se conecte el cliente.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Peer-to-peer connection</source>
        <translation>Conexión punto a punto</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Back</source>
        <translation>Volver</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Lend this PC&apos;s port (B-end)</source>
        <translation>Ofrecer un puerto de este PC (extremo B)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Connect this PC&apos;s device (C-end)</source>
        <translation>Conectar el dispositivo de este PC (extremo C)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>DoIP:</source>
        <translation>DoIP:</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+2"/>
        <source>Port:</source>
        <translation>Puerto:</translation>
    </message>
    <message>
        <location line="-1"/>
        <source>Address:</source>
        <translation>Dirección:</translation>
    </message>
    <message>
        <location line="+2"/>
        <location line="+1"/>
        <source>5000 to 65535</source>
        <translation>De 5000 a 65535</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Partner&apos;s IP address</source>
        <translation>Dirección IP del socio</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Listen</source>
        <translation>Escuchar</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Close</source>
        <translation>Cerrar</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Connect</source>
        <translation>Conectar</translation>
    </message>
</context>
<context>
    <name>Remote</name>
    <message>
        <location filename="../../remote/RemoteCode.cpp" line="+61"/>
        <location filename="../../remote/RemoteController.cpp" line="+312"/>
        <source>Please enter SN</source>
        <translation>Introduzca el número de serie</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The format of the serial number is incorrect!</source>
        <translation>¡El formato del número de serie es incorrecto!</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>The format of the verification code is incorrect!</source>
        <translation>¡El formato del código de verificación es incorrecto!</translation>
    </message>
    <message>
        <location line="+6"/>
        <location filename="../../remote/RemoteController.cpp" line="+113"/>
        <location line="+31"/>
        <source>Ports between 5000 and 65535</source>
        <translation>Puertos entre 5000 y 65535</translation>
    </message>
    <message>
        <location filename="../../remote/RemoteController.cpp" line="-421"/>
        <source>Remote Off</source>
        <translation>Desactivar remoto</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Remote On</source>
        <translation>Activar remoto</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Persistent verification code</source>
        <translation>Código de verificación permanente</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Temporary verification code</source>
        <translation>Código de verificación temporal</translation>
    </message>
    <message>
        <location line="+1"/>
        <location filename="../../remote/RemoteEngine.cpp" line="+528"/>
        <source>Remote is not supported</source>
        <translation>El remoto no es compatible</translation>
    </message>
    <message>
        <location line="+269"/>
        <source>Please eject the VCI Device First</source>
        <translation>Desconecte primero el dispositivo VCI</translation>
    </message>
    <message>
        <location line="+98"/>
        <source>Unable to do C-end in LAN mode</source>
        <translation>No se puede ser extremo C en modo LAN</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Unable to do C-end in WiFi mode</source>
        <translation>No se puede ser extremo C en modo Wi-Fi</translation>
    </message>
    <message>
        <location line="+40"/>
        <source>This PC is B-end and cannot use this function</source>
        <translation>Este PC es el extremo B y no puede usar esta función</translation>
    </message>
    <message>
        <location line="+89"/>
        <location line="+8"/>
        <source>Copy to clipboard successfully</source>
        <translation>Copiado al portapapeles</translation>
    </message>
    <message>
        <location line="+104"/>
        <source>Remote server</source>
        <translation>Servidor remoto</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Remote client</source>
        <translation>Cliente remoto</translation>
    </message>
    <message>
        <location filename="../../remote/RemoteEngine.cpp" line="-449"/>
        <location line="+45"/>
        <source>VCI is not online</source>
        <translation>El VCI no está en línea</translation>
    </message>
    <message>
        <location line="-34"/>
        <source>enable netcard failure</source>
        <translation>No se pudo activar el adaptador de red</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>connect server timeout</source>
        <translation>Tiempo de conexión con el servidor agotado</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>connection established successfully</source>
        <translation>Conexión establecida correctamente</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>The server response timed out</source>
        <translation>El servidor tardó demasiado en responder</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Failed to connect to the server</source>
        <translation>No se pudo conectar con el servidor</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Password error</source>
        <translation>Código incorrecto</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The server is disconnected</source>
        <translation>El servidor se ha desconectado</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The VCI is in a session with another technician</source>
        <translation>El VCI está en una sesión con otro técnico</translation>
    </message>
    <message>
        <location line="+20"/>
        <source>Guangzhou</source>
        <translation>Guangzhou</translation>
    </message>
    <message>
        <location line="+94"/>
        <source>Remote verification code not obtained</source>
        <translation>No se obtuvo el código de verificación remoto</translation>
    </message>
    <message>
        <location line="+19"/>
        <source>Connection failed, please try again</source>
        <translation>La conexión falló, inténtelo de nuevo</translation>
    </message>
    <message>
        <location line="+62"/>
        <source>Successfully modified</source>
        <translation>Modificado correctamente</translation>
    </message>
    <message>
        <location line="+184"/>
        <source>Remote assistance has been disabled</source>
        <translation>La asistencia remota está desactivada</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>LAN verification codes disabled</source>
        <translation>Códigos de verificación desactivados en LAN</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Verification codes disabled</source>
        <translation>Códigos de verificación desactivados</translation>
    </message>
    <message>
        <location filename="../../remote/RemotePages.cpp" line="-326"/>
        <source>DoIP Off</source>
        <translation>DoIP desactivado</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Standard DoIP</source>
        <translation>DoIP estándar</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>BMW DoIP</source>
        <translation>DoIP BMW</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>MB DoIP</source>
        <translation>DoIP MB</translation>
    </message>
    <message>
        <location filename="../../remote/RemotePro.cpp" line="+1"/>
        <source>Please connect the VCI Device First</source>
        <translation>Conecte primero el dispositivo VCI</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Failed to load RemotePro.dll</source>
        <translation>No se pudo cargar RemotePro.dll</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Failed to load passthru</source>
        <translation>No se pudo cargar passthru</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device control of this device has ended</source>
        <translation>El control de este dispositivo ha terminado</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device control ended: this PC&apos;s VCI stopped answering</source>
        <translation>El control del dispositivo terminó: el VCI de este PC dejó de responder</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device control ended: the partner&apos;s VCI stopped answering</source>
        <translation>El control del dispositivo terminó: el VCI del socio dejó de responder</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device control ended: this PC&apos;s VCI cannot use the selected baud rate</source>
        <translation>El control del dispositivo terminó: el VCI de este PC no admite la velocidad seleccionada</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device control ended: the partner&apos;s VCI cannot use the selected baud rate</source>
        <translation>El control del dispositivo terminó: el VCI del socio no admite la velocidad seleccionada</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>100 Kbps</source>
        <translation>100 Kbps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>125 Kbps</source>
        <translation>125 Kbps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>250 Kbps</source>
        <translation>250 Kbps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>500 Kbps</source>
        <translation>500 Kbps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>800 Kbps</source>
        <translation>800 Kbps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>1000 Kbps</source>
        <translation>1000 Kbps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>None</source>
        <translation>Ninguna</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>1M bps</source>
        <translation>1M bps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>2M bps</source>
        <translation>2M bps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>4M bps</source>
        <translation>4M bps</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>5M bps</source>
        <translation>5M bps</translation>
    </message>
</context>
<context>
    <name>RemotePage</name>
    <message>
        <location filename="../../remote/RemoteController.cpp" line="-121"/>
        <location filename="../../remote/RemotePages.cpp" line="+120"/>
        <source>Hide</source>
        <translation>Ocultar</translation>
    </message>
    <message>
        <location line="+0"/>
        <location filename="../../remote/RemotePages.cpp" line="+0"/>
        <source>Show</source>
        <translation>Mostrar</translation>
    </message>
    <message>
        <location filename="../../remote/RemotePages.cpp" line="-6"/>
        <source>Remote diagnosis</source>
        <translation>Diagnóstico remoto</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>This PC&apos;s device</source>
        <translation>Dispositivo de este PC</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device SN:</source>
        <translation>N.º de serie:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Verification code:</source>
        <translation>Código de verificación:</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+1"/>
        <source>Copy</source>
        <translation>Copiar</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Copy serial number</source>
        <translation>Copiar número de serie</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Copies this PC&apos;s device serial number to the clipboard</source>
        <translation>Copia al portapapeles el número de serie del dispositivo de este PC</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Copy verification code</source>
        <translation>Copiar código de verificación</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Copies the verification code to the clipboard</source>
        <translation>Copia al portapapeles el código de verificación</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Connect to a partner&apos;s device</source>
        <translation>Conectar con el dispositivo de un socio</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Partner SN:</source>
        <translation>N.º de serie del socio:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>DoIP:</source>
        <translation>DoIP:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>16-character serial number</source>
        <translation>Número de serie de 16 caracteres</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Connect</source>
        <translation>Conectar</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>P2P</source>
        <translation>P2P</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device control</source>
        <translation>Control del dispositivo</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Technicians</source>
        <translation>Técnicos</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Enter the verification code shown on the partner&apos;s PC</source>
        <translation>Introduzca el código de verificación que muestra el PC del socio</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>6 digits</source>
        <translation>6 dígitos</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Confirm</source>
        <translation>Confirmar</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>End device control</source>
        <translation>Finalizar control del dispositivo</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>This device is under device control by %1</source>
        <translation>Este dispositivo está bajo control remoto del dispositivo %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>(frames dropped here/at the partner: %1)</source>
        <translation>(tramas descartadas aquí/en el socio: %1)</translation>
    </message>
</context>
<context>
    <name>RemoteProConfig</name>
    <message>
        <location filename="../../remote/RemoteProConfig.cpp" line="+1"/>
        <source>Config Select</source>
        <translation>Selección de configuración</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Pin</source>
        <translation>Pin</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CAN Baudrate</source>
        <translation>Velocidad CAN</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CANFD Baudrate</source>
        <translation>Velocidad CAN FD</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>OK</source>
        <translation>Aceptar</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CAN baud rate, pins 6 and 14</source>
        <translation>Velocidad CAN, pines 6 y 14</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CAN FD baud rate, pins 6 and 14</source>
        <translation>Velocidad CAN FD, pines 6 y 14</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CAN baud rate, pins 3 and 11</source>
        <translation>Velocidad CAN, pines 3 y 11</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CAN FD baud rate, pins 3 and 11</source>
        <translation>Velocidad CAN FD, pines 3 y 11</translation>
    </message>
</context>
<context>
    <name>SessionPage</name>
    <message>
        <location line="+78"/>
        <source>Remote session</source>
        <translation>Sesión remota</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Role:</source>
        <translation>Función:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Device number:</source>
        <translation>Número de dispositivo:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Start time:</source>
        <translation>Hora de inicio:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Duration:</source>
        <translation>Duración:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Location:</source>
        <translation>Ubicación:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Delay:</source>
        <translation>Retardo:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Data:</source>
        <translation>Datos:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Partner:</source>
        <translation>Socio:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>End remote</source>
        <translation>Finalizar remoto</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>End the remote session?</source>
        <translation>¿Finalizar la sesión remota?</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>OK</source>
        <translation>Aceptar</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
</context>
</TS>
