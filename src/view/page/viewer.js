// The preview page's code, bundled with three.js into one classic script (bxa-view.js): the page is
// opened from a file:// URL, where modules and fetch() are refused. Data arrives as script calls:
// page-data/models.js calls bxaView.models(), each page-data/mN.js bxaView.model(), each tN.js
// bxaView.texture(); the last two are loaded when a model is first shown.
import * as THREE from 'three';
import { OrbitControls } from 'three/examples/jsm/controls/OrbitControls.js';

const BACKGROUND = 0x1d2127;
const WARNING = 0xff3b30;
const UNTEXTURED = 0xb4b6bc;
const SHOWN_WARNINGS = 20;
// Where a model is first seen from: front, a little right and above.
const VIEW_DIRECTION = new THREE.Vector3(0.5, 0.3, 1).normalize();

const state = {
  title: '',
  list: [],
  data: new Map(),      // model index -> the object of its bxaView.model() call
  textures: new Map(),  // texture id -> Promise of a THREE.Texture
  textureUrls: new Map(),
  scripts: new Map(),   // script path -> Promise
  selected: -1,
  shown: null,          // the THREE.Group on the scene
  problems: [],         // what went wrong while showing models (missing scripts, undecodable textures)
};

const elements = {};
let renderer = null;
let scene = null;
let camera = null;
let controls = null;

function element(id) {
  return document.getElementById(id);
}

function make(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) {
    if (key === 'class') node.className = value;
    else node.setAttribute(key, value);
  }
  for (const child of children) node.append(child);
  return node;
}

function plural(n, one, many) {
  return `${n} ${n === 1 ? one : many}`;
}

function setStatus(text) {
  elements.status.textContent = text;
}

function noteProblem(text) {
  state.problems.push(text);
  console.warn(`bxa-view: ${text}`);
}

// ---- Loading data scripts -------------------------------------------------------------------------

function loadScript(path) {
  if (!state.scripts.has(path)) {
    state.scripts.set(path, new Promise((resolve, reject) => {
      const script = document.createElement('script');
      script.src = path;
      script.onload = () => resolve();
      script.onerror = () => reject(new Error(`${path} could not be loaded`));
      document.head.append(script);
    }));
  }
  return state.scripts.get(path);
}

function loadTexture(id) {
  if (!state.textures.has(id)) {
    state.textures.set(id, loadScript(`page-data/t${id}.js`).then(() => new Promise((resolve, reject) => {
      const texture = state.textureUrls.get(id);
      new THREE.TextureLoader().load(texture.url, (loaded) => {
        loaded.colorSpace = THREE.SRGBColorSpace;
        loaded.wrapS = THREE.RepeatWrapping;
        loaded.wrapT = THREE.RepeatWrapping;
        resolve(loaded);
      }, undefined, () => reject(new Error(`the browser cannot decode the bitmap ${texture.file}`)));
    })));
  }
  return state.textures.get(id);
}

// ---- Building a model's scene objects -------------------------------------------------------------

function makeMaterial(slot) {
  const material = new THREE.MeshLambertMaterial({
    color: slot.texture >= 0 ? 0xffffff : UNTEXTURED,
    side: THREE.DoubleSide,
    polygonOffset: true,
    polygonOffsetFactor: 1,
    polygonOffsetUnits: 1,
  });
  if (slot.texture >= 0) {
    loadTexture(slot.texture).then((texture) => {
      material.map = texture;
      material.needsUpdate = true;
      render();
    }, (error) => {
      material.color.set(UNTEXTURED);
      noteProblem(error.message);
      showDetails();
    });
  }
  return material;
}

function unitNormals(normals) {
  const out = new Float32Array(normals.length);
  for (let i = 0; i < normals.length; i += 3) {
    const length = Math.hypot(normals[i], normals[i + 1], normals[i + 2]) || 1;
    out[i] = normals[i] / length;
    out[i + 1] = normals[i + 1] / length;
    out[i + 2] = normals[i + 2] / length;
  }
  return out;
}

// The box of what is drawn: the corners of the faces, or every vertex when there are no faces.
function drawnBox(data) {
  const box = new THREE.Box3();
  const point = new THREE.Vector3();
  const add = (index) => box.expandByPoint(point.fromArray(data.positions, index * 3));
  let corners = 0;
  for (const slot of data.materials) {
    for (const index of slot.indices) add(index);
    corners += slot.indices.length;
  }
  for (const index of data.broken) {
    if (index >= 0) add(index);
  }
  if (corners === 0) {
    for (let i = 0; i < data.positions.length / 3; i++) add(i);
  }
  return box;
}

function buildModel(data) {
  const group = new THREE.Group();
  const positions = new Float32Array(data.positions);
  const box = drawnBox(data);
  const centre = box.isEmpty() ? new THREE.Vector3() : box.getCenter(new THREE.Vector3());

  const geometry = new THREE.BufferGeometry();
  geometry.setAttribute('position', new THREE.BufferAttribute(positions, 3));
  geometry.setAttribute('uv', new THREE.Float32BufferAttribute(data.uvs, 2));
  const indices = [];
  const materials = [];
  for (const slot of data.materials) {
    if (slot.indices.length === 0) continue;
    geometry.addGroup(indices.length, slot.indices.length, materials.length);
    for (const index of slot.indices) indices.push(index);
    materials.push(makeMaterial(slot));
  }
  if (indices.length > 0) {
    geometry.setIndex(indices);
    if (data.normals) {
      geometry.setAttribute('normal', new THREE.BufferAttribute(unitNormals(data.normals), 3));
    } else {
      geometry.computeVertexNormals();
    }
    group.add(new THREE.Mesh(geometry, materials));
  }

  // Every vertex as a dot, so that vertices no face uses (and models without faces) are seen too.
  const dots = new THREE.BufferGeometry();
  dots.setAttribute('position', new THREE.BufferAttribute(positions, 3));
  const dotMaterial = new THREE.PointsMaterial({ color: 0x7f8a99, size: 3, sizeAttenuation: false });
  group.add(new THREE.Points(dots, dotMaterial));

  // Broken faces in the warning colour, drawn over everything. A corner outside the vertex table is put at
  // a red dot just above the model as it is first seen, so that such a face shows as a triangle.
  if (data.broken.length > 0) {
    const radius = box.isEmpty() ? 1 : Math.max(box.getSize(new THREE.Vector3()).length() / 2, 1e-3);
    const up = new THREE.Vector3(0, 1, 0).addScaledVector(VIEW_DIRECTION, -VIEW_DIRECTION.y).normalize();
    const marker = centre.clone().addScaledVector(up, radius * 0.9);
    const corners = new Float32Array(data.broken.length * 3);
    data.broken.forEach((index, i) => {
      const source = index >= 0 ? new THREE.Vector3().fromArray(positions, index * 3) : marker;
      source.toArray(corners, i * 3);
    });
    const faces = new THREE.BufferGeometry();
    faces.setAttribute('position', new THREE.BufferAttribute(corners, 3));
    const fill = new THREE.MeshBasicMaterial({ color: WARNING, side: THREE.DoubleSide, transparent: true,
                                               opacity: 0.6, depthTest: false });
    const filled = new THREE.Mesh(faces, fill);
    filled.renderOrder = 1;
    group.add(filled);
    const edges = new THREE.LineSegments(new THREE.WireframeGeometry(faces),
                                         new THREE.LineBasicMaterial({ color: WARNING, depthTest: false }));
    edges.renderOrder = 2;
    group.add(edges);
    const dot = new THREE.BufferGeometry();
    dot.setAttribute('position', new THREE.BufferAttribute(new Float32Array(marker.toArray()), 3));
    const markerDot = new THREE.Points(dot, new THREE.PointsMaterial({
      color: WARNING, size: 9, sizeAttenuation: false, depthTest: false,
    }));
    markerDot.renderOrder = 3;
    group.add(markerDot);
    box.expandByPoint(marker);
  }
  return { group, box };
}

function frame(box) {
  const sphere = box.isEmpty() ? new THREE.Sphere(new THREE.Vector3(), 1)
    : box.getBoundingSphere(new THREE.Sphere());
  const radius = Math.max(sphere.radius, 1e-3);
  const distance = radius / Math.sin(THREE.MathUtils.degToRad(camera.fov / 2)) * 1.1;
  camera.position.copy(sphere.center).addScaledVector(VIEW_DIRECTION, distance);
  camera.near = distance / 100;
  camera.far = distance * 100;
  camera.updateProjectionMatrix();
  controls.target.copy(sphere.center);
  controls.update();
}

// ---- The panels ---------------------------------------------------------------------------------------

function countsText(entry) {
  return [entry.format, plural(entry.vertices, 'vertex', 'vertices'), plural(entry.faces, 'face', 'faces'),
          plural(entry.entities, 'entity', 'entities')].join(' · ');
}

function fillList() {
  elements.title.textContent = state.title;
  elements.list.replaceChildren();
  state.list.forEach((entry, index) => {
    const item = make('li', { 'data-index': String(index) }, make('div', { class: 'name' }, entry.name));
    if (entry.error) {
      item.append(make('div', { class: 'broken' }, `not read: ${entry.error}`));
    } else {
      item.append(make('div', { class: 'counts' }, countsText(entry)));
      if (entry.brokenFaces > 0) {
        const broken = `${plural(entry.brokenFaces, 'face', 'faces')} outside the vertex table`;
        item.append(make('div', { class: 'broken' }, broken));
      }
    }
    item.addEventListener('click', () => select(index));
    elements.list.append(item);
  });
}

function showDetails() {
  const entry = state.list[state.selected];
  const data = state.data.get(state.selected);
  elements.info.hidden = false;
  elements.name.textContent = entry.name;
  const rows = [['format', entry.format], ['vertices', entry.vertices], ['faces', entry.faces],
                ['entities', entry.entities], ['faces outside the vertex table', entry.brokenFaces],
                ['warnings', entry.warnings]];
  elements.counts.replaceChildren(...rows.flatMap(([label, value]) => {
    const dd = make('dd', {}, String(value));
    if (label.startsWith('faces outside') && value > 0) dd.className = 'broken';
    return [make('dt', {}, label), dd];
  }));
  elements.legend.hidden = !(entry.brokenFaces > 0);

  const details = [];
  // The link names the file beside the page: every character of the name escaped, so that no name (one
  // starting "javascript:", say) is taken as a scheme, a query or a fragment.
  if (entry.obj) {
    details.push(make('p', {}, 'OBJ file: ', make('a', { href: encodeURIComponent(entry.obj) }, entry.obj)));
  }
  if (entry.error) {
    details.push(make('p', { class: 'broken' }, `This model could not be read: ${entry.error}`));
  }
  if (data) {
    const groups = data.groups.filter((g) => g.faces > 0);
    if (groups.length > 0) {
      details.push(make('h3', {}, 'groups'));
      details.push(make('ul', {}, ...groups.slice(0, SHOWN_WARNINGS).map((g) => make('li', {},
        `${g.name || '(no name)'}: ${plural(g.faces, 'face', 'faces')}`))));
    }
    const warnings = data.warnings.map((w) => make('li', {}, w));
    if (data.warningCount > data.warnings.length) {
      warnings.push(make('li', {}, `and ${data.warningCount - data.warnings.length} more`));
    }
    if (warnings.length > 0) details.push(make('h3', {}, 'warnings'), make('ul', {}, ...warnings));
  }
  if (state.problems.length > 0) {
    details.push(make('h3', {}, 'page'), make('ul', {}, ...state.problems.map((p) => make('li', {}, p))));
  }
  elements.details.replaceChildren(...details);
}

// ---- Showing a model ----------------------------------------------------------------------------------

async function select(index) {
  if (index < 0 || index >= state.list.length) return;
  state.selected = index;
  for (const item of elements.list.children) {
    item.classList.toggle('selected', Number(item.dataset.index) === index);
  }
  try {
    history.replaceState(null, '', `#${encodeURIComponent(state.list[index].name)}`);
  } catch {
    // Some browsers refuse history changes on file:// pages; the page works without them.
  }
  document.body.dataset.state = 'loading';
  const entry = state.list[index];
  if (state.shown) {
    scene.remove(state.shown);
    state.shown = null;
  }
  if (!entry.error && !state.data.has(index)) {
    try {
      await loadScript(entry.data);
    } catch (error) {
      noteProblem(error.message);
    }
  }
  if (state.selected !== index) return;
  const data = state.data.get(index);
  if (data && renderer) {
    const { group, box } = buildModel(data);
    state.shown = group;
    scene.add(group);
    frame(box);
  }
  showDetails();
  resize();
  setStatus(renderer ? `${entry.name}: ${countsText(entry)}` : 'WebGL is not available in this browser');
  document.body.dataset.state = 'ready';
  document.body.dataset.model = String(index);
}

function render() {
  if (renderer) renderer.render(scene, camera);
}

// The model is centred in the part of the canvas that the info panel leaves free.
function resize() {
  if (!renderer) return;
  const canvas = elements.canvas;
  const width = canvas.clientWidth;
  const height = Math.max(canvas.clientHeight, 1);
  renderer.setSize(width, height, false);
  camera.aspect = width / height;
  const panel = elements.info.hidden ? 0 : elements.info.offsetWidth + 20;
  if (panel > 0 && width > 2 * panel) camera.setViewOffset(width, height, panel / 2, 0, width, height);
  else camera.clearViewOffset();
  camera.updateProjectionMatrix();
  render();
}

function startRenderer() {
  try {
    renderer = new THREE.WebGLRenderer({
      canvas: elements.canvas, antialias: true, preserveDrawingBuffer: true,
    });
  } catch (error) {
    renderer = null;
    return;
  }
  renderer.setPixelRatio(window.devicePixelRatio || 1);
  renderer.setClearColor(BACKGROUND);
  scene = new THREE.Scene();
  camera = new THREE.PerspectiveCamera(45, 1, 0.01, 1000);
  scene.add(camera);
  scene.add(new THREE.HemisphereLight(0xffffff, 0x50545c, 1.6));
  const light = new THREE.DirectionalLight(0xffffff, 1.4);
  light.position.set(0.5, 1, 1);
  camera.add(light);
  controls = new OrbitControls(camera, elements.canvas);
  controls.addEventListener('change', render);
  new ResizeObserver(resize).observe(elements.canvas);
  resize();
}

function start() {
  for (const [key, id] of Object.entries({ canvas: 'view', list: 'model-list', title: 'title', info: 'info',
    name: 'model-name', counts: 'counts', legend: 'legend', details: 'details', status: 'status' })) {
    elements[key] = element(id);
  }
  startRenderer();
  fillList();
  if (state.list.length === 0) {
    setStatus('no models in this work directory');
    document.body.dataset.state = 'ready';
    return;
  }
  const wanted = decodeURIComponent(location.hash.slice(1));
  const index = state.list.findIndex((entry) => entry.name === wanted);
  select(index >= 0 ? index : 0);
}

window.bxaView = {
  models(list) {
    state.title = list.title;
    state.list = list.models;
    if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
    else start();
  },
  model(index, data) {
    state.data.set(index, data);
  },
  texture(id, texture) {
    state.textureUrls.set(id, texture);
  },
  state,
};
