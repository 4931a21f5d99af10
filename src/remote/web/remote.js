"use strict";
// Zelvar's web remote: the panel as the desktop shows it, its buttons sent to the program
// through the JSON interface, and the relays' states kept live by the event WebSocket.
// Every text from the panel goes in as text, never as markup.

const RelayCount = 16;
const ImpMode = 1;
const FirstRetryMs = 1000;
const LastRetryMs = 30000;
const MessageMs = 6000;

const StateNames = { on: "allumé", off: "éteint", unknown: "inconnu" };
const AccessText = "Accès refusé : ouvrez l'adresse complète, avec son jeton, que donne le code QR " +
    "de la page « Télécommande » des réglages de Zelvar.";
const NoLinkText = "Pas de liaison avec Zelvar : le bouton n'a pas été envoyé.";

const byId = (id) => document.getElementById(id);

// ---- Messages

let messageTimer = 0;

function say(text, kind = "erreur") {
    const message = byId("message");
    message.textContent = text;
    message.dataset.kind = kind;
    message.hidden = false;
    clearTimeout(messageTimer);
    messageTimer = setTimeout(() => { message.hidden = true; }, MessageMs);
}

// ---- The JSON interface. The page is opened once with ?token=…; the token is kept in this
// origin's own storage, out of the address bar, and sent as a header. Never in a cookie: a
// cookie would go to every other port of the host as well.

const TokenKey = "zelvar-jeton";

class AccessRefused extends Error {
    constructor() { super(AccessText); }
}

function keptToken() {
    const address = new URL(location.href);
    const given = address.searchParams.get("token");
    let token = given ?? "";
    try {
        if (given !== null)
            localStorage.setItem(TokenKey, given);
        else
            token = localStorage.getItem(TokenKey) ?? "";
    } catch {
        // Storage refused (a private window): the token lasts as long as the page.
    }
    if (given !== null) {
        address.searchParams.delete("token");
        history.replaceState(null, "", address.pathname + address.search + address.hash);
    }
    return token;
}

const token = keptToken();

// `payload`, when given, goes as JSON.
async function request(method, path, payload) {
    const headers = { Authorization: `Bearer ${token}` };
    if (payload !== undefined)
        headers["Content-Type"] = "application/json";
    let response;
    try {
        response = await fetch(path, {
            method, credentials: "omit", cache: "no-store", headers,
            body: payload === undefined ? undefined : JSON.stringify(payload),
        });
    } catch {
        throw new Error("Zelvar ne répond pas.");
    }
    if (response.status === 401)
        throw new AccessRefused();
    return response;
}

async function api(method, path, payload) {
    const response = await request(method, path, payload);
    const body = await response.json().catch(() => null);
    if (!response.ok)
        throw new Error(body?.error ?? `Zelvar a répondu ${response.status}.`);
    return body;
}

async function act(method, path, payload) {
    try {
        await api(method, path, payload);
    } catch (error) {
        say(error.message);
    }
}

// ---- Relays

const lamps = [];
const reported = new Set();

const relayNames = []; // relay → { caption, description } of the first panel button that drives it

// Each lamp is a button: a tap toggles its relay.
function buildLamps() {
    const list = byId("voyants");
    for (let relay = 1; relay <= RelayCount; ++relay) {
        const lamp = document.createElement("li");
        lamp.dataset.relay = relay;
        const button = document.createElement("button");
        button.type = "button";
        button.className = "voyant";
        const number = document.createElement("span");
        number.className = "numero";
        number.textContent = relay;
        const name = document.createElement("span");
        name.className = "nom";
        button.append(number, name);
        button.addEventListener("click", () => act("PUT", "api/relays", { [relay]: "toggle" }));
        lamp.append(button);
        list.append(lamp);
        lamps[relay] = lamp;
        describe(lamp, relay, "en attente");
    }
}

function describe(lamp, relay, state) {
    const name = relayNames[relay];
    const text = `Relais ${relay}${name ? ` « ${name.description} »` : ""} : ${state}`;
    const button = lamp.querySelector("button");
    button.title = `${text} — toucher pour basculer`;
    button.setAttribute("aria-label", text);
    button.setAttribute("aria-pressed", lamp.dataset.state === "on" ? "true" : "false");
    lamp.querySelector(".nom").textContent = name?.caption ?? "";
}

// The relays' names come from the panel's buttons.
function nameLamps(panel) {
    relayNames.length = 0;
    for (const item of panel.buttons)
        if (item.relay >= 1 && item.relay <= RelayCount && !relayNames[item.relay])
            relayNames[item.relay] = { caption: item.caption || item.description, description: item.description || item.caption };
    for (let relay = 1; relay <= RelayCount; ++relay)
        describe(lamps[relay], relay, StateNames[lamps[relay].dataset.state] ?? "en attente");
}

function showRelay(relay, state) {
    const lamp = Number.isInteger(relay) ? lamps[relay] : undefined;
    if (!lamp || !Object.hasOwn(StateNames, state))
        return;
    lamp.dataset.state = state;
    describe(lamp, relay, StateNames[state]);
    reported.add(relay);
    // The moment the whole row first stands as the program sees it, for the benchmark.
    if (reported.size === RelayCount && performance.getEntriesByName("zelvar-etats").length === 0)
        performance.mark("zelvar-etats");
}

// ---- The panel

const buttons = new Map(); // button number → { element, caption }
const held = new Set();    // Imp buttons this page holds down
let events = null;

function percent(value, whole) {
    return `${(value / whole) * 100}%`;
}

function place(element, item, panel) {
    element.style.left = percent(item.left, panel.width);
    element.style.top = percent(item.top, panel.height);
}

function hold(k) {
    const button = buttons.get(k);
    if (!button || held.has(k))
        return;
    if (!events.send({ type: "press", button: k })) {
        say(NoLinkText);
        return;
    }
    held.add(k);
    button.element.classList.add("tenu");
}

function letGo(k) {
    if (!held.delete(k))
        return;
    buttons.get(k)?.element.classList.remove("tenu");
    events.send({ type: "release", button: k });
}

function letGoAll() {
    for (const k of [...held])
        letGo(k);
}

// The server let go of what this page held when its WebSocket closed.
function forgetHeld() {
    for (const k of held)
        buttons.get(k)?.element.classList.remove("tenu");
    held.clear();
}

// An Imp button keeps its relay on while the finger (or the mouse, or the key) stays on it.
function wireImp(element, k) {
    element.addEventListener("pointerdown", (event) => {
        if (event.button !== 0)
            return;
        event.preventDefault();
        element.setPointerCapture(event.pointerId);
        hold(k);
    });
    for (const name of ["pointerup", "pointercancel", "lostpointercapture", "blur"])
        element.addEventListener(name, () => letGo(k));
    element.addEventListener("keydown", (event) => {
        if ((event.key === " " || event.key === "Enter") && !event.repeat) {
            event.preventDefault();
            hold(k);
        }
    });
    element.addEventListener("keyup", (event) => {
        if (event.key === " " || event.key === "Enter")
            letGo(k);
    });
    element.addEventListener("contextmenu", (event) => event.preventDefault());
}

function buildPanel(panel) {
    const area = byId("panneau");
    forgetHeld();
    area.querySelectorAll(".bouton, .texte").forEach((element) => element.remove());
    buttons.clear();
    area.style.setProperty("--largeur", panel.width);
    area.style.setProperty("--hauteur", panel.height);
    sizePicture();

    for (const item of panel.buttons) {
        const element = document.createElement("button");
        element.type = "button";
        element.className = "bouton";
        element.dataset.button = item.index;
        element.dataset.mode = item.mode;
        const caption = document.createElement("span");
        caption.className = "legende";
        caption.textContent = item.caption;
        element.append(caption);
        const relay = item.relay ? ` (relais ${item.relay})` : "";
        element.title = (item.description || item.caption) + relay;
        place(element, item, panel);
        element.style.width = percent(item.width, panel.width);
        element.style.height = percent(item.height, panel.height);
        if (item.mode === ImpMode)
            wireImp(element, item.index);
        else
            element.addEventListener("click", () => act("POST", `api/buttons/${item.index}/click`));
        area.append(element);
        buttons.set(item.index, { element, caption: item.caption });
    }
    // Texts lie over the buttons, as on the desktop, but let touches through to them.
    for (const item of panel.texts) {
        const text = document.createElement("span");
        text.className = "texte";
        text.textContent = item.text;
        place(text, item, panel);
        area.append(text);
    }
}

async function loadPanel() {
    try {
        const panel = await api("GET", "api/panel");
        buildPanel(panel);
        nameLamps(panel);
    } catch (error) {
        say(error.message);
    }
}

// The picture keeps its own size on the panel, as on the desktop.
function sizePicture() {
    const image = byId("image");
    const width = Number(byId("panneau").style.getPropertyValue("--largeur")) || 600;
    if (image.naturalWidth)
        image.style.width = percent(image.naturalWidth, width);
}

// The picture asks for the token too: fetched, then shown from memory.
async function loadPicture() {
    const image = byId("image");
    try {
        const response = await request("GET", "api/picture");
        if (!response.ok)
            throw new Error();
        const previous = image.src;
        image.src = URL.createObjectURL(await response.blob());
        if (previous.startsWith("blob:"))
            URL.revokeObjectURL(previous);
    } catch {
        image.hidden = true;
    }
}

// The panel changed: its buttons, and maybe its picture, again.
function reloadPanel() {
    loadPanel();
    loadPicture();
}

async function loadHost() {
    try {
        const health = await api("GET", "api/health");
        const host = health.host === "service" ? "service" : "programme";
        const port = health.port ? `port ${health.port} ${health.port_open ? "ouvert" : "fermé"}` : "aucun port";
        byId("hote").textContent = `Zelvar ${health.version} · ${host} · ${port}`;
    } catch {
        byId("hote").textContent = "";
    }
}

function showFired(row, k) {
    const button = buttons.get(k);
    if (button) {
        button.element.classList.remove("declenche");
        void button.element.offsetWidth; // restarts the flash
        button.element.classList.add("declenche");
    }
    const caption = button ? ` « ${button.caption} »` : "";
    say(`Programmateur : ligne ${row}, bouton ${k}${caption}.`, "info");
}

// ---- The event WebSocket: the relays' states on connection, then every change. A lost
// connection is tried again after a delay that doubles each time, up to half a minute.

class Events {
    constructor() {
        this.socket = null;
        this.delay = FirstRetryMs;
        this.retryAt = 0;
        this.timer = 0;
        this.countdown = 0;
        this.opened = false;
    }

    // The socket shows a single-use ticket, asked for with the token's header.
    async connect() {
        clearTimeout(this.timer);
        clearInterval(this.countdown);
        if (this.socket)
            return;
        this.socket = "ticket";
        this.link("attente", "Connexion…");
        let ticket;
        try {
            ticket = (await api("POST", "api/ticket")).ticket;
        } catch {
            this.socket = null;
            this.lost();
            return;
        }
        const url = new URL("api/events", location.href);
        url.protocol = url.protocol === "https:" ? "wss:" : "ws:";
        url.search = `?ticket=${encodeURIComponent(ticket)}`;
        const socket = new WebSocket(url);
        this.socket = socket;
        socket.addEventListener("open", () => {
            this.delay = FirstRetryMs;
            this.link("ok", "Connecté");
            byId("relais").classList.remove("perime");
            // After a loss the panel may have changed meanwhile.
            if (this.opened)
                reloadPanel();
            this.opened = true;
            loadHost();
        });
        socket.addEventListener("message", (event) => this.receive(event.data));
        socket.addEventListener("close", () => {
            if (this.socket === socket)
                this.lost();
        });
    }

    receive(data) {
        let message;
        try {
            message = JSON.parse(data);
        } catch {
            return;
        }
        if (message.type === "relay")
            showRelay(message.relay, message.state);
        else if (message.type === "fired")
            showFired(message.row, message.button);
        else if (message.type === "panel")
            reloadPanel();
        else if (message.type === "error")
            say(message.error);
    }

    send(message) {
        if (!(this.socket instanceof WebSocket) || this.socket.readyState !== WebSocket.OPEN)
            return false;
        this.socket.send(JSON.stringify(message));
        return true;
    }

    async lost() {
        this.socket = null;
        forgetHeld();
        byId("relais").classList.add("perime");
        // A refused upgrade looks like any other loss: an API call tells a wrong token apart.
        let refused = false;
        try {
            await api("GET", "api/health");
        } catch (error) {
            refused = error instanceof AccessRefused;
        }
        if (this.socket)
            return; // the page came back meanwhile and is connecting again
        this.retryAt = Date.now() + this.delay;
        this.timer = setTimeout(() => this.connect(), this.delay);
        this.delay = Math.min(this.delay * 2, LastRetryMs);
        const tell = () => {
            const seconds = Math.max(1, Math.ceil((this.retryAt - Date.now()) / 1000));
            this.link(refused ? "refus" : "perdu",
                      `${refused ? "Accès refusé" : "Connexion perdue"} · nouvel essai dans ${seconds} s`);
        };
        tell();
        this.countdown = setInterval(tell, 1000);
        if (refused)
            say(AccessText);
    }

    // A page coming back to the front tries at once rather than waiting out its delay.
    wake() {
        if (!this.socket) {
            this.delay = FirstRetryMs;
            this.connect();
        }
    }

    link(state, text) {
        const link = byId("liaison");
        link.dataset.liaison = state;
        link.textContent = text;
    }
}

// ---- Start

function start() {
    buildLamps();
    const image = byId("image");
    image.addEventListener("error", () => { image.hidden = true; });
    image.addEventListener("load", () => {
        image.hidden = false;
        sizePicture();
        // The moment the picture first shows, fetched after the page: for the benchmark.
        if (performance.getEntriesByName("zelvar-image").length === 0)
            performance.mark("zelvar-image");
    });
    // Sixteen relays off is not undone by a tap: it asks first.
    byId("tout-eteindre").addEventListener("click", () => {
        if (confirm("Éteindre les 16 relais ?"))
            act("POST", "api/all-off");
    });

    events = new Events();
    events.connect();
    loadPanel();
    loadPicture();

    document.addEventListener("visibilitychange", () => {
        if (document.hidden)
            letGoAll();
        else
            events.wake();
    });
    window.addEventListener("pagehide", letGoAll);
    window.addEventListener("online", () => events.wake());
}

start();
