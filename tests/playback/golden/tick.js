status    = "playing";
artist    = "Simon \"&\" Garfunkel";
title     = "Mrs \\ Robinson";
position  = 65;
duration  = 200;
bitrate   = "ca. 131 kbps";
filesize  = "4.100.000 Bytes";
repeat    = true;
shuffle   = false;
prevFiles = new Array(
             "Yesterday",
             "Say \"Hi\" \\ Bye" );
nextFiles = new Array();
