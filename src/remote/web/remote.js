"use strict";
// The page's script; the web remote itself comes with its own files.
document.getElementById("etat").textContent = "Télécommande Zelvar";
